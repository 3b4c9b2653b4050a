#pragma once

#include "mail/pop3_client.h"
#include "mail/sasl.h"

namespace quorvel::testing {

// Reaches one AUTH exchange with a mechanism of the test's choosing.
class SaslPop : public TmsRemotePOP {
public:
    using TmsRemotePOP::TmsRemotePOP;
    void signIn(SaslMechanism& mechanism) {
        Connect();
        ConnectSocket();
        checkReply();
        authenticate(mechanism);
    }
};

}  // namespace quorvel::testing
