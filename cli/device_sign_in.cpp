#include "cli/device_sign_in.h"

#include "cli/output.h"

namespace quorvel::cli {

OAuthTokens deviceSignIn(OAuthService& oauth, const OAuthProvider& provider, int mailbox, std::ostream& out) {
    return oauth.authorizeDevice(provider, [&](const std::string& address, const std::string& code) {
        out << "To sign in mailbox " << mailbox << " with " << plainLine(provider.name)
            << ", open this address in a browser on any device:\n  " << plainLine(address)
            << "\nand enter the code " << plainLine(code) << "\nWaiting for the sign-in...\n";
        out.flush();
    });
}

}  // namespace quorvel::cli
