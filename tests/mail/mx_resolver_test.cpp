// The MX resolver: the query it sends, the responses it accepts and refuses
// (built with the packet builder), and whole queries against a real dnsmasq
// and against scripted servers for what dnsmasq will not send.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "mail/dns_message.h"
#include "mail/mx_resolver.h"
#include "platform/files.h"
#include "platform/poll_event_loop.h"
#include "support/dns_packet_builder.h"
#include "support/dnsmasq_server.h"
#include "support/fake_platform.h"

namespace quorvel {
namespace {

using testing::DnsmasqServer;
using testing::DnsPacketBuilder;
using testing::ScriptedDnsServer;
using testing::SilentUdpPort;

using namespace std::string_literals;

constexpr std::uint16_t kId = 0xBEEF;

std::string questionFor(std::string domain) {
    encodeQuestion(domain);
    return domain;
}

std::vector<std::string> describe(const TMXList& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(std::to_string(list.Items(i).Preference) + " " + list.Items(i).Exchange);
    return out;
}

// Parses `response` as the answer to our query for example.test.
TMXList parse(const std::string& response) {
    TMXList list;
    parseResponse(response, kId, questionFor("example.test"), list);
    return list;
}

std::string errorOf(const std::string& response) {
    try {
        parse(response);
    } catch (const EResolverError& e) {
        return e.what();
    }
    return "no error";
}

// --- The query ---------------------------------------------------------------

TEST(MXQuery, DomainBecomesLengthPrefixedLabelsThenTypeAndClass) {
    struct Case {
        std::string domain, question;
    };
    const std::string label63(63, 'a');
    const Case cases[] = {
        {"example.com", "\7example\3com\0\0\x0f\0\x01"s},
        {"localhost", "\x09localhost\0\0\x0f\0\x01"s},
        {"a.b.c", "\1a\1b\1c\0\0\x0f\0\x01"s},
        {label63 + ".test", "\x3f"s + label63 + "\4test\0\0\x0f\0\x01"s},
    };
    for (const Case& c : cases) {
        std::string domain = c.domain;
        encodeQuestion(domain);
        EXPECT_EQ(domain, c.question) << c.domain;
    }
}

TEST(MXQuery, MalformedDomainIsRefusedAndLeftAsItWas) {
    // 254 characters: with the first length octet and the root, 256 octets.
    const std::string tooLong = std::string(60, 'a') + "." + std::string(60, 'b') + "." + std::string(60, 'c') +
                                "." + std::string(60, 'd') + ".example.test";
    for (const std::string& bad : {""s, "example.com."s, ".example.com"s, "example..com"s, "."s,
                                   std::string(64, 'x') + ".test"s, tooLong}) {
        std::string domain = bad;
        EXPECT_THROW(encodeQuestion(domain), EResolverError) << bad;
        EXPECT_EQ(domain, bad);
    }
}

TEST(MXQuery, HeaderAsksOneQuestionWithRecursion) {
    const std::string query = buildQuery(0x1234, questionFor("example.com"));
    EXPECT_EQ(query, "\x12\x34\x01\x00\0\1\0\0\0\0\0\0\7example\3com\0\0\x0f\0\x01"s);
}

TEST(MXQuery, FlagsWordAccessors) {
    TQuerySpec flags;
    flags.setOpcode(2);
    flags.setRD(true);
    EXPECT_EQ(flags.Flags, 0x1100);
    flags.setQR(true);
    EXPECT_TRUE(flags.QR());
    EXPECT_EQ(flags.Opcode(), 2);
    flags.Flags = 0x8783;  // QR AA TC RD RA, RCODE 3
    EXPECT_TRUE(flags.AA());
    EXPECT_TRUE(flags.TC());
    EXPECT_TRUE(flags.RD());
    EXPECT_TRUE(flags.RA());
    EXPECT_EQ(flags.RCODE(), 3);
}

// --- The response -------------------------------------------------------------

TEST(MXResponse, HeaderAndQuestionChecks) {
    struct Case {
        const char* name;
        DnsPacketBuilder::Header header;
        std::string question;
        unsigned qtype;
        std::string error;
    };
    const Case cases[] = {
        {"another ID", {.id = kId ^ 1}, "example.test", 15, "IDs in the query and response are different"},
        {"no QR bit", {.id = kId, .flags = 0x0100}, "example.test", 15, "This is not a response"},
        {"RCODE 1", {.id = kId, .flags = 0x8181}, "example.test", 15, "Domain server was unable to interpret a query"},
        {"RCODE 2", {.id = kId, .flags = 0x8182}, "example.test", 15, "Domain server failure"},
        {"RCODE 3", {.id = kId, .flags = 0x8183}, "example.test", 15, "Domain name does not exist"},
        {"RCODE 4", {.id = kId, .flags = 0x8184}, "example.test", 15, "Not implemented"},
        {"RCODE 5", {.id = kId, .flags = 0x8185}, "example.test", 15, "Domain server refused to return the information"},
        {"RCODE 9", {.id = kId, .flags = 0x8189}, "example.test", 15, "Domain server Error #9"},
        {"RCODE 15", {.id = kId, .flags = 0x818F}, "example.test", 15, "Domain server Error #15"},
        {"RCODE without the question", {.id = kId, .flags = 0x8183, .qdcount = 0}, "", 0, "Domain name does not exist"},
        {"answer to another name", {.id = kId}, "other.test", 15, "IDs in the query and response are different"},
        {"answer to another type", {.id = kId}, "example.test", 1, "IDs in the query and response are different"},
        {"error for another name", {.id = kId, .flags = 0x8183}, "other.test", 15,
         "IDs in the query and response are different"},
        {"question in other letter case", {.id = kId}, "EXAMPLE.Test", 15, "no error"},
    };
    for (const Case& c : cases) {
        DnsPacketBuilder b(c.header);
        if (!c.question.empty()) b.question(c.question, c.qtype);
        EXPECT_EQ(errorOf(b.bytes()), c.error) << c.name;
    }
}

TEST(MXResponse, MXRecordsAmongOthers) {
    DnsPacketBuilder b({.id = kId, .flags = 0x8580, .ancount = 4});
    b.question("example.test");
    // A CNAME first, as a server sends for an alias, and an A record between.
    b.pointer(12).record(5).name("real.example.test").endRecord();
    b.name("real.example.test").record(15).u16(20).labels("mx1").pointer(12).endRecord();
    b.pointer(12).record(1).u32(0xC0000201).endRecord();
    b.pointer(12).record(15).u16(5).name("mx0.example.test").endRecord();
    EXPECT_EQ(describe(parse(b.bytes())), (std::vector<std::string>{"20 mx1.example.test.", "5 mx0.example.test."}));
}

TEST(MXResponse, ExchangeNameWithPointerAboveOffset255) {
    DnsPacketBuilder b({.id = kId, .ancount = 3});
    b.question("example.test");
    // A TXT record long enough to put the next name beyond offset 255.
    b.pointer(12).record(16).u8(250).raw(std::string(250, 't')).endRecord();
    b.pointer(12).record(15).u16(10);
    const std::size_t mailFarTest = b.offset();
    b.name("mail.far.test").endRecord();
    ASSERT_GT(mailFarTest, 255u);
    b.pointer(12).record(15).u16(30).labels("backup").pointer(mailFarTest + 5).endRecord();  // "far.test."
    EXPECT_EQ(describe(parse(b.bytes())), (std::vector<std::string>{"10 mail.far.test.", "30 backup.far.test."}));
}

TEST(MXResponse, RootExchangeReadsAsEmptyName) {
    DnsPacketBuilder b({.id = kId, .ancount = 1});
    b.question("example.test").pointer(12).record(15).u16(0).end().endRecord();
    EXPECT_EQ(describe(parse(b.bytes())), std::vector<std::string>{"0 "});
}

TEST(MXResponse, BrokenNamesEndInAnError) {
    const std::string badName = "The domain server's response holds an invalid name";
    const std::string incomplete = "The domain server's response is incomplete";
    struct Case {
        const char* name;
        std::function<void(DnsPacketBuilder&)> exchange;  // written after the preference
        std::string error;
    };
    const Case cases[] = {
        {"pointer to itself", [](DnsPacketBuilder& b) { b.pointer(b.offset()); }, badName},
        {"pointer forward", [](DnsPacketBuilder& b) { b.pointer(b.offset() + 2); }, badName},
        {"label then pointer back into the same name",
         [](DnsPacketBuilder& b) {
             const std::size_t start = b.offset();
             b.labels("loop").pointer(start);
         },
         badName},
        {"two pointers at each other",
         // The second label's pointer leads to the first one, whose pointer
         // leads back to the second.
         [](DnsPacketBuilder& b) {
             const std::size_t first = b.offset();
             b.labels("a").pointer(first + 4);
             b.labels("b").pointer(first);
         },
         badName},
        {"pointer cut after its first octet", [](DnsPacketBuilder& b) { b.u8(0xC0); }, incomplete},
        {"label running past the end", [](DnsPacketBuilder& b) { b.u8(40).raw("short"); }, incomplete},
        {"name without its end", [](DnsPacketBuilder& b) { b.labels("mail.example"); }, incomplete},
        {"label of a reserved type", [](DnsPacketBuilder& b) { b.u8(0x41).raw(std::string(65, 'x')).end(); }, badName},
        {"name longer than 255 octets",
         [](DnsPacketBuilder& b) {
             for (int i = 0; i < 5; ++i) b.labels(std::string(60, 'n'));
             b.end();
         },
         badName},
    };
    for (const Case& c : cases) {
        DnsPacketBuilder b({.id = kId, .ancount = 1});
        b.question("example.test").pointer(12).record(15).u16(10);
        c.exchange(b);
        b.endRecord();
        EXPECT_EQ(errorOf(b.bytes()), c.error) << c.name;
    }
}

TEST(MXResponse, RecordDataMustHoldTheExchange) {
    DnsPacketBuilder b({.id = kId, .ancount = 1});
    b.question("example.test").pointer(12).record(15);
    const std::size_t rdLength = b.offset() - 2;
    b.u16(10).name("mx.example.test").endRecord();
    b.patchU16(rdLength, 5);  // shorter than the name
    EXPECT_EQ(errorOf(b.bytes()), "The domain server's response holds an invalid record");
}

// A CNAME and two MX records, names compressed where a server would.
DnsPacketBuilder fullResponse() {
    DnsPacketBuilder b({.id = kId, .ancount = 3});
    b.question("example.test");
    b.pointer(12).record(5);
    const std::size_t real = b.offset();
    b.labels("real").pointer(12).endRecord();
    b.pointer(real).record(15).u16(20).labels("mx1").pointer(12).endRecord();
    b.pointer(real).record(15).u16(10).name("mx2.example.test").endRecord();
    return b;
}

TEST(MXResponse, EveryCutOfAValidResponseIsAnError) {
    const std::string full = fullResponse().bytes();
    ASSERT_EQ(parse(full).Count(), 2);
    for (std::size_t length = 0; length < full.size(); ++length) {
        TMXList list;
        EXPECT_THROW(parseResponse(full.substr(0, length), kId, questionFor("example.test"), list), EResolverError)
            << "cut at " << length;
    }
}

TEST(MXResponse, TruncatedAnswerKeepsTheRecordsItHolds) {
    DnsPacketBuilder b = fullResponse();
    b.patchU16(2, 0x8380);  // TC
    const std::string cut = b.bytes().substr(0, b.bytes().size() - 3);
    EXPECT_EQ(describe(parse(cut)), std::vector<std::string>{"20 mx1.example.test."});
}

TEST(MXResponse, OnlyOurIdAndQuestionAnswerTheQuery) {
    struct Case {
        const char* name;
        std::string response;
        bool answers;
    };
    const Case cases[] = {
        {"ours", DnsPacketBuilder({.id = kId}).question("example.test").bytes(), true},
        {"ours, name in other case", DnsPacketBuilder({.id = kId}).question("EXAMPLE.Test").bytes(), true},
        {"ours, an error", DnsPacketBuilder({.id = kId, .flags = 0x8183}).question("example.test").bytes(), true},
        {"an error without question", DnsPacketBuilder({.id = kId, .flags = 0x8182, .qdcount = 0}).bytes(), true},
        {"no question and no error", DnsPacketBuilder({.id = kId, .qdcount = 0}).bytes(), false},
        {"another ID", DnsPacketBuilder({.id = kId + 1}).question("example.test").bytes(), false},
        {"another name", DnsPacketBuilder({.id = kId}).question("example.tes").bytes(), false},
        {"another type", DnsPacketBuilder({.id = kId}).question("example.test", 16).bytes(), false},
        {"another class", DnsPacketBuilder({.id = kId}).question("example.test", 15, 3).bytes(), false},
        {"question cut", DnsPacketBuilder({.id = kId}).question("example.test").bytes().substr(0, 29), false},
        {"header only", DnsPacketBuilder({.id = kId}).bytes(), false},
        {"header cut", DnsPacketBuilder({.id = kId}).bytes().substr(0, 11), false},
        {"empty", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(answersQuery(c.response, kId, questionFor("example.test")), c.answers) << c.name;
}

TEST(MXList, SortOrdersByPreference) {
    const std::vector<std::vector<int>> cases = {
        {}, {7}, {20, 10, 30}, {30, 20, 10}, {5, 5, 1}, {1, 2, 3, 4}, {65535, 0, 100, 100, 3},
    };
    for (const auto& preferences : cases) {
        TMXList list;
        for (int p : preferences) list.Add({static_cast<std::uint16_t>(p), "mx" + std::to_string(p) + "."});
        list.Sort();
        std::vector<int> sorted = preferences;
        std::sort(sorted.begin(), sorted.end());
        std::vector<int> got;
        for (int i = 0; i < list.Count(); ++i) {
            got.push_back(list.Items(i).Preference);
            EXPECT_EQ(list.Items(i).Exchange, "mx" + std::to_string(list.Items(i).Preference) + ".");
        }
        EXPECT_EQ(got, sorted);
    }
}

// --- The default server -------------------------------------------------------

TEST(DefaultDNSAddress, FirstIPv4NameServer) {
    testing::TempFolder folder;
    struct Case {
        std::string conf, address;
    };
    const Case cases[] = {
        {"nameserver 192.0.2.53\nnameserver 192.0.2.54\n", "192.0.2.53"},
        {"# nameserver 192.0.2.1\nsearch example.test\nnameserver ::1\nnameserver\t192.0.2.2\n", "192.0.2.2"},
        {"nameserver fe80::1%eth0\n", "127.0.0.1"},
        {"  nameserver 192.0.2.3  \n", "192.0.2.3"},
        {"nameservers 192.0.2.4\nnameserver dns.example.test\n", "127.0.0.1"},
        {"", "127.0.0.1"},
    };
    for (const Case& c : cases) {
        writeFileAtomically(folder.file("resolv.conf"), c.conf);
        EXPECT_EQ(defaultDNSAddress(folder.file("resolv.conf")), c.address) << c.conf;
    }
    EXPECT_EQ(defaultDNSAddress(folder.file("missing.conf")), "127.0.0.1");
}

// --- Whole queries -----------------------------------------------------------

class MXResolverTest : public ::testing::Test {
protected:
    MXResolverTest() {
        resolver.DNSAddress = "127.0.0.1";
        resolver.TimeOut = 1;
        resolver.OnSendingQuery = [this] { events.push_back("SendingQuery"); };
        resolver.OnWaitingForResponse = [this] { events.push_back("WaitingForResponse"); };
        resolver.OnClosingConnection = [this] { events.push_back("ClosingConnection"); };
    }

    void resolve(int port, const std::string& domain) {
        resolver.Port = static_cast<std::uint16_t>(port);
        resolver.Domain = domain;
        resolver.Resolve();
    }

    const std::vector<std::string> kAllEvents = {"SendingQuery", "WaitingForResponse", "ClosingConnection"};

    PollEventLoop loop;
    TmsMXResolver resolver{loop, loop};
    std::vector<std::string> events;
};

class MXResolverDnsmasq : public MXResolverTest {
protected:
    static void SetUpTestSuite() {
        server = new DnsmasqServer({
            "mx-host=three.quorvel.test,mx20.quorvel.test,20",
            "mx-host=three.quorvel.test,mx10.quorvel.test,10",
            "mx-host=three.quorvel.test,mx30.quorvel.test,30",
            "host-record=nomx.quorvel.test,192.0.2.1",
            "cname=alias.quorvel.test,three.quorvel.test",
        });
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    static DnsmasqServer* server;
};

DnsmasqServer* MXResolverDnsmasq::server = nullptr;

TEST_F(MXResolverDnsmasq, AnswersSortedByPreference) {
    const std::vector<std::string> three = {"10 mx10.quorvel.test.", "20 mx20.quorvel.test.", "30 mx30.quorvel.test."};
    struct Case {
        std::string domain;
        std::vector<std::string> records;
    };
    const Case cases[] = {
        {"three.quorvel.test", three},
        {"THREE.Quorvel.Test", three},
        {"alias.quorvel.test", three},  // a CNAME comes first
        {"nomx.quorvel.test", {}},
    };
    for (const Case& c : cases) {
        events.clear();
        resolve(server->port(), c.domain);
        EXPECT_EQ(describe(resolver.MXList()), c.records) << c.domain << "\n" << server->log();
        EXPECT_EQ(events, kAllEvents);
    }
}

TEST_F(MXResolverDnsmasq, MissingDomainDoesNotExist) {
    resolve(server->port(), "three.quorvel.test");
    ASSERT_EQ(resolver.MXList().Count(), 3);
    events.clear();
    try {
        resolve(server->port(), "missing.quorvel.test");
        FAIL() << "no error";
    } catch (const EResolverError& e) {
        EXPECT_STREQ(e.what(), "Domain name does not exist");
    }
    EXPECT_EQ(resolver.MXList().Count(), 0);
    EXPECT_EQ(events, kAllEvents);
}

TEST_F(MXResolverDnsmasq, DomainHoldsTheQuestionAfterwards) {
    resolve(server->port(), "nomx.quorvel.test");
    EXPECT_EQ(resolver.Domain, "\4nomx\7quorvel\4test\0\0\x0f\0\x01"s);
}

TEST_F(MXResolverTest, NoAnswerTimesOutAndStillCloses) {
    SilentUdpPort silent;
    // A port that takes the query and one where nothing listens (the system
    // reports it on the socket): both wait for the time-out.
    for (int port : {silent.port(), testing::unusedUdpPort()}) {
        events.clear();
        try {
            resolve(port, "example.test");
            FAIL() << "no error";
        } catch (const ETimedOutError& e) {
            EXPECT_STREQ(e.what(), "Operation timed out");
        }
        EXPECT_EQ(events, kAllEvents) << port;
    }
}

TEST_F(MXResolverTest, ServerAddressMustBeDottedIPv4) {
    for (const std::string& address : {""s, "localhost"s, "1.2.3"s, "1.2.3.4.5"s, "256.1.1.1"s, "::1"s}) {
        events.clear();
        resolver.DNSAddress = address;
        try {
            resolve(53, "example.test");
            FAIL() << address;
        } catch (const EResolverError& e) {
            EXPECT_EQ(e.what(), "'" + address + "' is not a valid DNS server address");
        }
        // Nothing was opened, so nothing is closed.
        EXPECT_EQ(events, std::vector<std::string>{"SendingQuery"});
    }
}

TEST_F(MXResolverTest, MalformedDomainSendsNothing) {
    ScriptedDnsServer server([](const std::string&) { return std::vector<std::string>{}; });
    for (const std::string& domain : {""s, "example.test."s, std::string(64, 'a') + ".test"}) {
        EXPECT_THROW(resolve(server.port(), domain), EResolverError) << domain;
    }
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(server.queries().empty());
}

TEST_F(MXResolverTest, EachQueryHasItsOwnIdAndTheAnswerMustCarryIt) {
    ScriptedDnsServer server([](const std::string& query) {
        DnsPacketBuilder b({.id = testing::dnsId(query), .ancount = 1});
        b.question("example.test").mx("example.test", 10, "mx.example.test");
        return std::vector<std::string>{b.bytes()};
    });
    for (int i = 0; i < 4; ++i) {
        resolve(server.port(), "example.test");
        EXPECT_EQ(describe(resolver.MXList()), std::vector<std::string>{"10 mx.example.test."});
    }
    std::set<std::uint16_t> ids;
    for (const std::string& query : server.queries()) {
        ids.insert(testing::dnsId(query));
        EXPECT_EQ(query.substr(2), buildQuery(0, questionFor("example.test")).substr(2));
    }
    EXPECT_GT(ids.size(), 1u);
}

TEST_F(MXResolverTest, WrongAnswersFromTheServer) {
    struct Case {
        const char* name;
        std::function<std::string(std::uint16_t id)> response;
        std::string error;
    };
    const Case cases[] = {
        {"not a response",
         [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x0100}).question("example.test").bytes(); },
         "This is not a response"},
        {"server failure",
         [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x8182}).question("example.test").bytes(); },
         "Domain server failure"},
        {"error without the question",
         [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x8183, .qdcount = 0}).bytes(); },
         "Domain name does not exist"},
    };
    for (const Case& c : cases) {
        ScriptedDnsServer server(
            [&c](const std::string& query) { return std::vector<std::string>{c.response(testing::dnsId(query))}; });
        events.clear();
        try {
            resolve(server.port(), "example.test");
            ADD_FAILURE() << c.name << ": no error";
        } catch (const EResolverError& e) {
            EXPECT_EQ(e.what(), c.error) << c.name;
        }
        EXPECT_EQ(events, kAllEvents) << c.name;
        EXPECT_EQ(resolver.MXList().Count(), 0);
    }
}

// Datagrams that are not the answer to our query, each as a forger would
// send it: saying the domain does not exist.
struct Forgery {
    const char* name;
    std::function<std::string(std::uint16_t id)> bytes;
    ScriptedDnsServer::Datagram::From from = ScriptedDnsServer::Datagram::From::Server;
};

const Forgery kForgeries[] = {
    {"another ID",
     [](std::uint16_t id) {
         return DnsPacketBuilder({.id = static_cast<std::uint16_t>(id + 1), .flags = 0x8183})
             .question("example.test")
             .bytes();
     }},
    {"another name",
     [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x8183}).question("forged.test").bytes(); }},
    {"another type",
     [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x8183}).question("example.test", 1).bytes(); }},
    {"question cut short",
     [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x8183}).labels("example").bytes(); }},
    {"empty datagram", [](std::uint16_t) { return std::string(); }},
    {"header cut short", [](std::uint16_t id) { return DnsPacketBuilder({.id = id}).bytes().substr(0, 11); }},
    {"from another port",
     [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x8183}).question("example.test").bytes(); },
     ScriptedDnsServer::Datagram::From::OtherPort},
    {"from another address",
     [](std::uint16_t id) { return DnsPacketBuilder({.id = id, .flags = 0x8183}).question("example.test").bytes(); },
     ScriptedDnsServer::Datagram::From::OtherAddress},
};

TEST_F(MXResolverTest, ForgedDatagramsBeforeTheAnswerAreIgnored) {
    for (const Forgery& forgery : kForgeries) {
        ScriptedDnsServer server([&forgery](const std::string& query) {
            const std::uint16_t id = testing::dnsId(query);
            DnsPacketBuilder honest({.id = id, .ancount = 1});
            honest.question("example.test").mx("example.test", 10, "mx.example.test");
            return std::vector<ScriptedDnsServer::Datagram>{
                {forgery.bytes(id), forgery.from},
                {forgery.bytes(id), forgery.from},
                {honest.bytes(), ScriptedDnsServer::Datagram::From::Server, std::chrono::milliseconds(50)},
            };
        });
        events.clear();
        EXPECT_NO_THROW(resolve(server.port(), "example.test")) << forgery.name;
        EXPECT_EQ(describe(resolver.MXList()), std::vector<std::string>{"10 mx.example.test."}) << forgery.name;
        EXPECT_EQ(events, kAllEvents) << forgery.name;
    }
}

TEST_F(MXResolverTest, ForgedDatagramsAloneEndInTheTimeOut) {
    for (const Forgery& forgery : kForgeries) {
        ScriptedDnsServer server([&forgery](const std::string& query) {
            return std::vector<ScriptedDnsServer::Datagram>{{forgery.bytes(testing::dnsId(query)), forgery.from}};
        });
        events.clear();
        try {
            resolve(server.port(), "example.test");
            ADD_FAILURE() << forgery.name << ": no error";
        } catch (const ETimedOutError& e) {
            EXPECT_STREQ(e.what(), "Operation timed out") << forgery.name;
        }
        EXPECT_EQ(events, kAllEvents) << forgery.name;
    }
}

TEST_F(MXResolverTest, CancelFromAHandlerEndsTheWait) {
    SilentUdpPort silent;
    resolver.TimeOut = 60;
    resolver.OnWaitingForResponse = [this] {
        events.push_back("WaitingForResponse");
        // As a click on Cancel would, from inside the wait.
        loop.onEachTurn = [this] { resolver.Cancel(); };
    };
    try {
        resolve(silent.port(), "example.test");
        FAIL() << "no error";
    } catch (const ECanceledError& e) {
        EXPECT_STREQ(e.what(), "Operation has been canceled");
    }
    loop.onEachTurn = nullptr;
    EXPECT_EQ(events, kAllEvents);

    // A later query is not affected by the earlier cancel.
    ScriptedDnsServer server([](const std::string& query) {
        return std::vector<std::string>{DnsPacketBuilder({.id = testing::dnsId(query)}).question("example.test").bytes()};
    });
    resolver.TimeOut = 1;
    resolver.OnWaitingForResponse = nullptr;
    EXPECT_NO_THROW(resolve(server.port(), "example.test"));
}

}  // namespace
}  // namespace quorvel
