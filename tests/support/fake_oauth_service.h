#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/oauth.h"

namespace quorvel::testing {

// A provider that answers from a script: each refresh or sign-in takes the
// next answer, tokens or a refusal. Every call is recorded with the refresh
// token or login hint it was given.
class FakeOAuthService : public OAuthService {
public:
    using Answer = std::variant<OAuthTokens, EOAuthError>;
    std::deque<Answer> refreshAnswers, authorizeAnswers;
    std::vector<std::string> calls;  // "refresh <token>", "authorize <hint>", "device"
    std::vector<OAuthProvider> providers;

    // When set, the next call waits as a browser or a slow provider would:
    // it runs this hook on every turn of its wait (where the test clicks, or
    // a window's events are processed) until cancel() ends it.
    std::function<void()> waiting;
    // Turns of such a wait before the test is taken to have never canceled.
    int maxTurns = 100000;

    void cancel() override {
        calls.push_back("cancel");
        canceled_ = true;
    }

    OAuthTokens authorize(const OAuthProvider& provider, const std::string& loginHint) override {
        calls.push_back("authorize " + loginHint);
        return answer(provider, authorizeAnswers);
    }
    OAuthTokens refresh(const OAuthProvider& provider, const std::string& refreshToken) override {
        calls.push_back("refresh " + refreshToken);
        return answer(provider, refreshAnswers);
    }
    // The device grant shows this address and code before it answers.
    std::string deviceAddress = "https://login.example.test/device", deviceCode = "ABCD-EFGH";
    std::deque<Answer> deviceAnswers;
    OAuthTokens authorizeDevice(const OAuthProvider& provider,
                                const std::function<void(const std::string&, const std::string&)>& show) override {
        calls.push_back("device");
        show(deviceAddress, deviceCode);
        return answer(provider, deviceAnswers);
    }

private:
    OAuthTokens answer(const OAuthProvider& provider, std::deque<Answer>& answers) {
        providers.push_back(provider);
        if (waiting) {
            const std::function<void()> hook = std::exchange(waiting, nullptr);
            canceled_ = false;
            for (int turn = 0; !canceled_; ++turn) {
                if (turn == maxTurns) throw EOAuthError("the wait was never canceled", false);
                hook();
            }
            throw EOAuthError("The sign-in was canceled", false);
        }
        if (answers.empty()) throw EOAuthError("the test gave no answer", false);
        Answer next = answers.front();
        answers.pop_front();
        if (auto* error = std::get_if<EOAuthError>(&next)) throw *error;
        return std::get<OAuthTokens>(next);
    }
    bool canceled_ = false;
};

}  // namespace quorvel::testing
