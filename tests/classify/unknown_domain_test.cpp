// The unknown-domain check with the real MX resolver against a private
// dnsmasq, and against a DNS server that never answers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "classify/unknown_domain.h"
#include "mail/mx_resolver.h"
#include "platform/poll_event_loop.h"
#include "support/dnsmasq_server.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::DnsmasqServer;

TEST(DomainOf, PartAfterTheFirstAtSign) {
    struct Case {
        std::string address, domain;
    };
    const Case cases[] = {
        {"joe@example.test", "example.test"},
        {"example.test", "example.test"},
        {"a@b@c.test", "b@c.test"},
        {"joe@", ""},
        {"", ""},
        {"joe@" + std::string(300, 'd'), std::string(255, 'd')},
    };
    for (const Case& c : cases) EXPECT_EQ(DomainOf(c.address), c.domain) << c.address;
}

TEST(DomainToTest, ReplyDomainBeforeSenderDomain) {
    struct Case {
        std::string replyTo, from, domain;
    };
    const Case cases[] = {
        {"joe@reply.test", "ann@from.test", "reply.test"},
        {"", "ann@from.test", "from.test"},
        {"joe@reply.test", "", "reply.test"},
        {"joe@Same.Test", "ann@same.test", "Same.Test"},
        {"", "no-at-sign.test", "no-at-sign.test"},
        {"joe@", "ann@from.test", "from.test"},
        {"", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(domainToTest(c.replyTo, c.from), c.domain) << c.replyTo << " / " << c.from;
}

TEST(UnknownDomainReason, InputsOfTheExplanationLine) {
    const UnknownDomainReason reason = unknownDomainReason("nowhere.test");
    EXPECT_EQ(reason.what, "Reply to or From (nowhere.test) ");
    EXPECT_EQ(reason.op, "is an");
    EXPECT_EQ(reason.pattern, "Unknown domain");
    EXPECT_FALSE(reason.caseSensitive);
}

class UnknownDomainCounter : public ::testing::Test {
protected:
    // The counter alone needs no DNS.
    struct NoResolver : DomainResolver {
        void resolveDomain(const std::string&) override { ADD_FAILURE() << "no query expected"; }
    } resolver;
    std::string count = "0";
    UnknownDomainCheck check{resolver, count};
};

TEST_F(UnknownDomainCounter, BumpReadsTheTextAsANumber) {
    struct Case {
        std::string before, after;
    };
    const Case cases[] = {
        {"0", "1"}, {"41", "42"}, {"+7", "8"}, {"-3", "-2"}, {"", "1"}, {"abc", "1"}, {"12x", "1"}, {" 5", "1"},
        {"9223372036854775807", "9223372036854775807"},
    };
    for (const Case& c : cases) {
        count = c.before;
        check.bumpUnknown();
        EXPECT_EQ(count, c.after) << c.before;
    }
}

TEST_F(UnknownDomainCounter, ClearAsksFirst) {
    testing::ScriptedDialogs dialogs;
    dialogs.answers = {ModalResult::No, ModalResult::Yes};
    count = "17";
    check.btClearClick(dialogs);
    EXPECT_EQ(count, "17");
    check.btClearClick(dialogs);
    EXPECT_EQ(count, "0");
    ASSERT_EQ(dialogs.shown.size(), 2u);
    for (const auto& shown : dialogs.shown) {
        EXPECT_EQ(shown.kind, MessageKind::Confirmation);
        EXPECT_EQ(shown.text, "Really clear out unknown count?");
    }
}

// The check with the real resolver; every query it sends is counted.
class UnknownDomainDns : public ::testing::Test {
protected:
    UnknownDomainDns() {
        resolver.DNSAddress = "127.0.0.1";
        resolver.Port = static_cast<std::uint16_t>(server->port());
        resolver.TimeOut = 1;
        resolver.OnSendingQuery = [this] { queries.push_back(resolver.Domain); };
    }

    static void SetUpTestSuite() {
        server = new DnsmasqServer({
            "mx-host=good.quorvel.test,mx.good.quorvel.test,10",
            "mx-host=reply.quorvel.test,mx.reply.quorvel.test,10",
            "host-record=nomx.quorvel.test,192.0.2.7",
        });
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    static DnsmasqServer* server;

    PollEventLoop loop;
    TmsMXResolver resolver{loop, loop};
    MXDomainResolver dns{resolver};
    std::string count = "0";
    UnknownDomainCheck check{dns, count};
    std::vector<std::string> queries;  // the question of each query, as encoded
};

DnsmasqServer* UnknownDomainDns::server = nullptr;

// The question the resolver sends for `domain`.
std::string asked(std::string domain) {
    encodeQuestion(domain);
    return domain;
}

TEST_F(UnknownDomainDns, MessagesJudgedByTheirDomain) {
    struct Case {
        const char* name;
        std::string replyTo, from;
        std::optional<std::string> unknown;
        std::vector<std::string> queried;
    };
    const Case cases[] = {
        {"reply domain known, sender unknown", "joe@reply.quorvel.test", "ann@missing.quorvel.test", std::nullopt,
         {"reply.quorvel.test"}},
        {"reply domain unknown, sender known", "joe@gone.quorvel.test", "ann@good.quorvel.test", "gone.quorvel.test",
         {"gone.quorvel.test"}},
        {"sender domain without a reply", "", "ann@good.quorvel.test", std::nullopt, {"good.quorvel.test"}},
        {"domain without mail exchangers", "", "ann@nomx.quorvel.test", std::nullopt, {"nomx.quorvel.test"}},
        {"sender without an at sign", "", "absent.quorvel.test", "absent.quorvel.test", {"absent.quorvel.test"}},
        {"neither field", "", "", std::nullopt, {}},
        {"domain ending with a dot", "", "ann@good.quorvel.test.", "good.quorvel.test.", {}},
    };
    for (const Case& c : cases) {
        queries.clear();
        EXPECT_EQ(check.CheckDomain(c.replyTo, c.from), c.unknown) << c.name;
        std::vector<std::string> expected;
        for (const std::string& domain : c.queried) expected.push_back(asked(domain));
        EXPECT_EQ(queries, expected) << c.name;
    }
    // gone, absent and the one ending with a dot.
    EXPECT_EQ(count, "3");
}

TEST_F(UnknownDomainDns, EachDomainIsAskedOncePerRunWhateverItsCase) {
    const std::vector<std::string> domains = {
        "good.quorvel.test", "missing.quorvel.test", "GOOD.quorvel.test", "Missing.Quorvel.Test",
        "good.quorvel.test", "missing.quorvel.test", "nomx.quorvel.test", "NOMX.QUORVEL.TEST",
    };
    std::vector<bool> unknown;
    for (const std::string& domain : domains) unknown.push_back(check.qUnknownDomain(domain));
    EXPECT_EQ(unknown, (std::vector<bool>{false, true, false, true, false, true, false, false}));
    EXPECT_EQ(queries, (std::vector<std::string>{asked("good.quorvel.test"), asked("missing.quorvel.test"),
                                                 asked("nomx.quorvel.test")}));
    EXPECT_EQ(count, "1");
    EXPECT_EQ(check.knownGood(), (std::set<std::string>{"good.quorvel.test", "nomx.quorvel.test"}));
    EXPECT_EQ(check.knownBad(), std::set<std::string>{"missing.quorvel.test"});

    // The next program run asks again, as the answers are not kept.
    UnknownDomainCheck nextRun{dns, count};
    EXPECT_TRUE(nextRun.qUnknownDomain("MISSING.quorvel.test"));
    EXPECT_EQ(queries.back(), asked("MISSING.quorvel.test"));  // as given, not lower-cased
    EXPECT_EQ(count, "2");
}

TEST_F(UnknownDomainDns, UnreachableServerMakesEveryNewDomainUnknownOnce) {
    testing::SilentUdpPort silent;
    resolver.Port = static_cast<std::uint16_t>(silent.port());
    for (const char* domain : {"good.quorvel.test", "other.test", "Good.Quorvel.Test", "other.test"})
        EXPECT_TRUE(check.qUnknownDomain(domain)) << domain;
    EXPECT_EQ(queries, (std::vector<std::string>{asked("good.quorvel.test"), asked("other.test")}));
    EXPECT_EQ(count, "2");
}

}  // namespace
}  // namespace quorvel
