#include "support/learning_fixture.h"

namespace quorvel {

TmsHeaders learningSpam(int i) {
    const std::string n = std::to_string(i);
    return {
        "Return-Path: <bounce" + n + "@mailer" + std::to_string(i % 3) + ".cheap-deals.example>",
        "Received: from dsl" + n + ".pool.example (HELO dsl" + n + ".pool.example) (64.0.57." + std::to_string(i % 250) + ")",
        "\tby mx.home.example with SMTP; Mon, 1 Jul 2002 10:" + std::to_string(10 + i % 50) + ":00 -0000",
        "From: \"Best Offers\" <offers" + n + "@cheap-deals.example>",
        "To: undisclosed-recipients:;",
        "Subject: YOU HAVE WON A FREE CRUISE " + n,
        "Date: Mon, 1 Jul 2002 23:00:00 +0800",
        "Message-ID: <" + n + "$abc$x@cheap-deals.example>",
        "X-Mailer: Mass Mailer 3." + std::to_string(i % 4),
        "Content-Type: text/html; charset=\"iso-8859-1\"",
    };
}

TmsHeaders learningHam(int i) {
    const std::string n = std::to_string(i);
    const std::string friendAddress = "friend" + std::to_string(i % 5) + "@work.example";
    return {
        "Return-Path: <" + friendAddress + ">",
        "Received: from mail.work.example (mail.work.example [192.0.2.10])",
        "\tby mx.home.example (Postfix) with ESMTP id X" + n + "; Tue, 2 Jul 2002 09:" + std::to_string(10 + i % 50) +
            ":00 +0100",
        "From: Friend Name <" + friendAddress + ">",
        "To: me@home.example",
        "Subject: Re: meeting notes " + n,
        "Date: Tue, 2 Jul 2002 09:" + std::to_string(10 + i % 50) + ":00 +0100",
        "Message-ID: <2002070209" + n + ".GA123@work.example>",
        "User-Agent: Mutt/1.4i",
        "Content-Type: text/plain; charset=us-ascii",
        "List-Id: <team.work.example>",
    };
}

void trainLearningFixture(LearnedModel& model, int n) {
    for (int i = 0; i < n; ++i) {
        learnMessage(model, learningSpam(i), kLearningSpamSize, true);
        learnMessage(model, learningHam(i), kLearningHamSize, false);
    }
}

}  // namespace quorvel
