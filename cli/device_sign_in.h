#pragma once

#include <ostream>

#include "platform/oauth.h"

namespace quorvel::cli {

// The sign-in of a machine without a desktop (RFC 8628): prints to `out`
// where to sign in on another device and the code to type there, then waits
// for the provider. Throws EOAuthError.
OAuthTokens deviceSignIn(OAuthService& oauth, const OAuthProvider& provider, int mailbox, std::ostream& out);

}  // namespace quorvel::cli
