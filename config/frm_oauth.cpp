#include "config/frm_oauth.h"

#include "config/account_secrets.h"

namespace quorvel {

TfrmOAuth::TfrmOAuth(Platform& platform, SettingsStore& store, TPasswordCipher& cipher, Mailbox mailbox,
                     OAuthSettings settings)
    : Form("frmOAuth", "OAuth 2.0 sign-in of mailbox " + std::to_string(mailbox.number)),
      platform_(platform),
      store_(store),
      cipher_(cipher),
      mailbox_(std::move(mailbox)),
      initial_(std::move(settings)) {
    lblExplain = captioned(
        "With OAuth 2.0 Quorvel signs in to the mailbox with an access token from your mail provider instead of "
        "your password. Register Quorvel with the provider as a desktop program, at the page below (the README "
        "tells the steps), and enter the client ID it gives you here; Google also gives a client secret for "
        "desktop programs. Then click \"Sign in...\": your browser opens at the provider's page, and "
        "what Quorvel keeps afterwards is only the refresh token, never your password.");
    lblProvider = captioned("&Provider");
    for (const OAuthProvider& preset : oauthPresets()) cbProvider.items.push_back(preset.name);
    lblClientId = captioned("Client &ID");
    lblClientSecret = captioned("Client &secret", "");
    edClientSecret.hint = "Only where the provider gives desktop programs one (Google does); it is no secret there";
    lblAuthorize = captioned("&Authorization address");
    lblToken = captioned("&Token address");
    lblScope = captioned("S&cope");
    lblRegister = captioned("Where a desktop program is registered:");
    lblCommand = captioned("Token co&mmand");
    edCommand.hint = "A program of your own that prints a fresh access token as its first line";
    lblCommandNote = captioned(
        "Instead of signing in here, a token command you already use (a token helper) can give the access "
        "token: Quorvel runs it without a shell, waits at most 30 seconds and takes the first line of its output. "
        "Leave it empty to sign in with the provider.");
    btSignIn = captioned(kSignInCaption, kSignInHint);
    btOK = captioned("OK");
    btCancel = captioned("Cancel");
}

void TfrmOAuth::FormShow() {
    Batch batch(*this);
    modalResult = ModalResult::None;
    signedIn = false;
    hadSignIn_ = false;
    closeWhenDone_ = false;
    showProvider(initial_.provider);
    edClientId.text = initial_.provider.clientId;
    edClientSecret.text = initial_.provider.clientSecret;
    edCommand.text = initial_.tokenCommand;
    lblSignedIn.caption = "Not signed in yet";
    try {
        const AccountSecrets::Password kept = AccountSecrets(store_, cipher_, platform_.secrets)
                                                  .read(mailbox_.number, true, SecretKind::RefreshToken);
        hadSignIn_ = kept.status == SecretStatus::Ok && !kept.text.empty();
        if (hadSignIn_)
            lblSignedIn.caption = std::string("Signed in; kept in the ") + (kept.inKeyring ? kKeyringPlace : kFilePlace);
        else if (kept.inKeyring)
            lblSignedIn.caption = "The sign-in is kept in the desktop keyring, which does not give it now";
    } catch (const std::exception&) {
        lblSignedIn.caption = "The kept sign-in cannot be read; sign in again";
    }
    changed();
}

void TfrmOAuth::showProvider(const OAuthProvider& provider) {
    cbProvider.itemIndex = static_cast<int>(cbProvider.items.size()) - 1;
    for (std::size_t k = 0; k < cbProvider.items.size(); ++k)
        if (cbProvider.items[k] == provider.name) cbProvider.itemIndex = static_cast<int>(k);
    edAuthorize.text = provider.authorizationUrl;
    edToken.text = provider.tokenUrl;
    edScope.text = provider.scope;
    // A preset's addresses are the provider's own; only "Other" has them typed in.
    const bool other = oauthPreset(provider.name).authorizationUrl.empty();
    edAuthorize.enabled = edToken.enabled = edScope.enabled = other;
    lnkRegister.caption = oauthPreset(provider.name).registrationPage;
    lblRegister.visible = lnkRegister.visible = !lnkRegister.caption.empty();
}

OAuthSettings TfrmOAuth::settings() const {
    OAuthSettings result;
    const std::size_t index = cbProvider.itemIndex >= 0 ? static_cast<std::size_t>(cbProvider.itemIndex) : 0;
    result.provider = oauthPreset(index < cbProvider.items.size() ? cbProvider.items[index] : "Other");
    if (result.provider.authorizationUrl.empty()) {
        result.provider.authorizationUrl = edAuthorize.text;
        result.provider.tokenUrl = edToken.text;
        result.provider.scope = edScope.text;
    }
    result.provider.clientId = edClientId.text;
    result.provider.clientSecret = edClientSecret.text;
    result.tokenCommand = edCommand.text;
    return result;
}

void TfrmOAuth::cbProviderChange() {
    OAuthProvider provider = settings().provider;
    // "Other" starts from what the user typed for it before, not from
    // the preset just left.
    if (provider.authorizationUrl.empty() && initial_.provider.name == provider.name) provider = initial_.provider;
    showProvider(provider);
    changed();
}

void TfrmOAuth::lnkRegisterClick() {
    if (!lnkRegister.caption.empty() && !platform_.shell.openAddress(lnkRegister.caption))
        platform_.dialogs.messageBox(MessageKind::Error, "Unable to open " + lnkRegister.caption);
}

void TfrmOAuth::enableFields(bool free) {
    cbProvider.enabled = edClientId.enabled = edClientSecret.enabled = edCommand.enabled = btOK.enabled = free;
    const OAuthSettings chosen = settings();
    const bool other = oauthPreset(chosen.provider.name).authorizationUrl.empty();
    edAuthorize.enabled = edToken.enabled = edScope.enabled = free && other;
}

void TfrmOAuth::cancelSignIn() {
    if (!signingIn_ || cancelRequested_) return;
    cancelRequested_ = true;
    lblSignedIn.caption = "Canceling the sign-in...";
    changed();
    platform_.oauth->cancel();
}

void TfrmOAuth::btSignInClick() {
    // The same button stops the wait it started.
    if (signingIn_) {
        cancelSignIn();
        return;
    }
    const OAuthSettings chosen = settings();
    std::string missing;
    if (!platform_.oauth) {
        missing = "OAuth 2.0 sign-in is not available in this Quorvel (no browser sign-in). A token command can give "
                  "the access token instead.";
    } else if (chosen.provider.clientId.empty()) {
        missing = "Enter the client ID that " + providerName(chosen.provider) + " gave Quorvel first.";
        focusedControl = "edClientId";
    } else if (chosen.provider.authorizationUrl.empty() || chosen.provider.tokenUrl.empty()) {
        missing = "Enter the provider's authorization and token addresses first.";
        focusedControl = chosen.provider.authorizationUrl.empty() ? "edAuthorize" : "edToken";
    }
    if (!missing.empty()) {
        platform_.dialogs.messageBox(MessageKind::Information, missing);
        // The field to fill in takes the focus.
        changed();
        return;
    }
    signingIn_ = true;
    cancelRequested_ = false;
    btSignIn.caption = "Cancel sign-&in";
    btSignIn.hint = "Stops waiting for the browser";
    lblSignedIn.caption = OAuthAccess::kBrowserWaitText;
    enableFields(false);
    changed();
    std::string failure;
    bool canceled = false;
    OAuthAccess access({store_, cipher_, platform_.secrets, platform_.oauth, platform_.pump, nullptr});
    try {
        access.signIn(mailbox_.number, chosen.provider, mailbox_.user, mailbox_.server, mailbox_.useKeyring);
    } catch (const EOAuthError& error) {
        canceled = cancelRequested_;
        failure = error.what();
    }
    signingIn_ = false;
    btSignIn.caption = kSignInCaption;
    btSignIn.hint = kSignInHint;
    enableFields(true);
    if (canceled) {
        lblSignedIn.caption = hadSignIn_ || signedIn ? "The sign-in was canceled; the earlier sign-in is kept"
                                                     : "The sign-in was canceled; nothing was kept";
    } else if (!failure.empty()) {
        // This attempt's outcome, not an earlier one's.
        lblSignedIn.caption = hadSignIn_ || signedIn ? "The sign-in did not succeed; the earlier sign-in is kept"
                                                     : "The sign-in did not succeed; nothing was kept";
    } else {
        signedIn = true;
        keptInKeyring =
            AccountSecrets(store_, cipher_, nullptr).read(mailbox_.number, false, SecretKind::RefreshToken).text.empty();
        lblSignedIn.caption = std::string("Signed in; kept in the ") + (keptInKeyring ? kKeyringPlace : kFilePlace);
    }
    if (closeWhenDone_) {
        modalResult = ModalResult::Cancel;
        changed();
        return;
    }
    changed();
    if (!failure.empty() && !canceled)
        platform_.dialogs.messageBox(MessageKind::Error, "The sign-in did not succeed: " + failure);
}

void TfrmOAuth::btOKClick() {
    const OAuthSettings chosen = settings();
    if (chosen.tokenCommand.empty() && chosen.provider.clientId.empty()) {
        platform_.dialogs.messageBox(MessageKind::Error,
                                     "Enter the client ID that " + providerName(chosen.provider) +
                                         " gave Quorvel, or a token command.");
        focusedControl = "edClientId";
        changed();
        return;
    }
    if (!chosen.tokenCommand.empty()) {
        try {
            splitCommandLine(chosen.tokenCommand);
        } catch (const ETokenCommand& error) {
            platform_.dialogs.messageBox(MessageKind::Error, error.what());
            focusedControl = "edCommand";
            changed();
            return;
        }
    }
    modalResult = ModalResult::Ok;
    changed();
}

void TfrmOAuth::btCancelClick() {
    // The window closes once the wait has ended.
    if (signingIn_) {
        closeWhenDone_ = true;
        cancelSignIn();
        return;
    }
    modalResult = ModalResult::Cancel;
    changed();
}

}  // namespace quorvel
