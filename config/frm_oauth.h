#pragma once

#include <string>

#include "config/oauth_access.h"
#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "platform/form.h"
#include "platform/platform.h"

namespace quorvel {

// The OAuth 2.0 settings of one mailbox, opened from the Mailboxes page:
// the provider, what the user registered with it, or the user's own token
// command, and the sign-in in the browser. OK hands the settings back to the
// page (`settings`), which saves them with the rest; a sign-in keeps its
// refresh token at once, as a password typed in would be on OK.
class TfrmOAuth : public Form {
public:
    // What the page knows of the mailbox.
    struct Mailbox {
        int number = 1;
        std::string user, server;
        bool useKeyring = true;
    };
    TfrmOAuth(Platform& platform, SettingsStore& store, TPasswordCipher& cipher, Mailbox mailbox,
              OAuthSettings settings);

    Control lblExplain;
    Control lblProvider, cbProvider;  // items: the presets' names
    Control lblClientId, edClientId;
    Control lblClientSecret, edClientSecret;
    Control lblAuthorize, edAuthorize, lblToken, edToken, lblScope, edScope;
    // The page where a desktop program is registered: caption the address.
    Control lblRegister, lnkRegister;
    Control lblCommand, edCommand, lblCommandNote;
    Control btSignIn, lblSignedIn;
    Control btOK, btCancel;
    // The control to take the focus, by name.
    std::string focusedControl;

    // The settings as the controls hold them; after OK, the ones to keep.
    OAuthSettings settings() const;
    // Whether a sign-in in this window kept a refresh token, and where.
    bool signedIn = false;
    bool keptInKeyring = false;
    // Whether a sign-in is waiting for the browser now; "Sign in..." then
    // cancels it, and so does Cancel, which closes the window after it.
    bool signingIn() const { return signingIn_; }

    void FormShow();
    void cbProviderChange();
    void lnkRegisterClick();
    void btSignInClick();
    void btOKClick();
    void btCancelClick();

private:
    static constexpr const char* kSignInCaption = "Sign &in...";
    static constexpr const char* kSignInHint = "Opens the provider's sign-in page in your browser";

    void showProvider(const OAuthProvider& provider);
    // Locks what the sign-in uses while it waits, and frees it again.
    void enableFields(bool free);
    void cancelSignIn();

    Platform& platform_;
    SettingsStore& store_;
    TPasswordCipher& cipher_;
    Mailbox mailbox_;
    OAuthSettings initial_;
    bool hadSignIn_ = false;  // a refresh token was kept before this sign-in
    bool signingIn_ = false;
    bool cancelRequested_ = false;
    bool closeWhenDone_ = false;
};

}  // namespace quorvel
