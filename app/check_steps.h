#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/message_list.h"
#include "classify/classification.h"
#include "config/account_secrets.h"
#include "config/oauth_access.h"
#include "config/password_cipher.h"
#include "config/settings_store.h"
#include "log/activity_log.h"
#include "mail/pop3_client.h"

namespace quorvel {

// The steps of a check and a deletion that the main window and the
// headless quorvel-check share, so both judge, explain and delete alike.

// Widens a two-digit year of the short date format to four digits, as the
// window does at start-up.
void widenShortDate(FormatSettings& settings);

// Judges row `index` of `list`, or every row when it is -1. A row's header
// lines are those of the record at its position. Rows judged before in the
// same listing pass `countHits` false, so no rule counts a message twice.
void judgeRows(Classification& classification, MessageList& list, const TmsRemoteInfo& records, int index,
               bool countHits = true);

// What a session is bound to: server with port, user name, the security it
// is checked with (an unset choice read by the rule of the port) and the
// sign-in choice.
using AccountIdentity = std::tuple<std::string, std::string, TmsSecurity, TmsSignIn>;
AccountIdentity accountIdentityOf(const TmsRemotePOP& client);
// The same as the settings hold it for `mailbox` now, for a client whose
// default port is `defaultPort`; no password is read.
AccountIdentity storedAccountIdentity(SettingsStore& store, int mailbox, std::uint16_t defaultPort);

// Stores the security a log-in chose for `mailbox`, which had none (the
// client's OnSecurityChosen), and says so in the activity log when there is
// one; a log that cannot be written does not stop the check.
void keepChosenSecurity(SettingsStore& store, ActivityLog* log, int mailbox, const TmsRemotePOP& client);

// Loads the account of `mailbox` (1 to 12) into the client: server, user
// name, password (the settings file's, deciphered, else the keyring's), security and sign-in
// choice; for OAuth 2.0 the token source is `oauth`'s (none: the log-in says it is not
// available) and no password is read. Reads only; throws when the password does not decipher,
// and SecretUnavailable when the keyring holds it but does not give it.
void readAccount(SettingsStore& store, TPasswordCipher& cipher, SecretStore* keyring, int mailbox,
                 TmsRemotePOP& client, OAuthAccess* oauth = nullptr);

// The question that offers to trust a certificate the usual checks refused
// for `mailbox`, with what the user needs to decide.
std::string trustCertificateQuestion(int mailbox, const EUntrustedCertificate& refused);
// Trusts the certificate of `fingerprint` for `mailbox` from now on.
void storeCertificatePin(SettingsStore& store, int mailbox, const std::string& fingerprint);

// The words a user can act on for a connection that failed: a refusal names
// the server and port and what to check, a port that did not answer with TLS
// says what to choose instead. Any other message is returned as it is. The
// server and port are those `client` was told to use.
std::string plainConnectionError(const std::string& message, const TmsRemotePOP& client);

// Sets a delete mark on the record of every row marked 0 or 2, after
// clearing every record's marks, so marks a failed run left behind delete
// nothing the user no longer sees marked. Returns the number marked.
int setDeleteMarks(const MessageList& list, TmsRemotePOP& client);

// The error record of a deletion whose session ended before the server
// committed anything (POP3 deletes only at a successful QUIT).
inline constexpr const char* kNothingDeleted = "The deletion ended before the server confirmed it; nothing was deleted";

// The deleted-spam record's columns of a row.
DeletedSpamRow deletedSpamRowOf(const MessageRow& row);

// The explanation memo of the Why command: the heading lines before the
// row is judged, the closing remarks after (`old` the mark the row had,
// `now` the mark the explaining judgement gave).
std::vector<std::string> whyHeading(const MessageRow& row);
void closeWhyMemo(std::vector<std::string>& memo, int old, int now);

}  // namespace quorvel
