#include "classify/classification.h"

#include <random>
#include <set>
#include <stdexcept>

#include <gtest/gtest.h>

#include "classify/operators.h"
#include "classify/learning_tokenizer.h"
#include "mail/headers.h"
#include "support/fake_platform.h"
#include "support/learning_fixture.h"

namespace quorvel {
namespace {

using Lines = std::vector<std::string>;

class RecordingHost : public ClassificationHost {
public:
    bool explaining() const override { return explain; }
    void whyAdd(bool del, const std::string& what, const std::string& op, const std::string& pattern,
                bool caseSensitive) override {
        if (explain) lines.push_back(reasonLine(del, false, what, op, pattern, caseSensitive));
    }
    void whyExcept(const std::string& what, const std::string& op, const std::string& pattern,
                   bool caseSensitive) override {
        if (explain) lines.push_back(reasonLine(false, true, what, op, pattern, caseSensitive));
    }
    int serverToIndex() override { return mailbox; }

    bool explain = false;
    int mailbox = 1;
    Lines lines;
};

// Domains it is told are unknown fail; every other one resolves.
class FakeResolver : public DomainResolver {
public:
    void resolveDomain(const std::string& domain) override {
        asked.push_back(domain);
        if (unknown.contains(domain)) throw std::runtime_error("no such domain");
    }
    std::set<std::string> unknown;
    Lines asked;
};

struct Message {
    std::string subject;
    std::string sender;
    std::string size = "1000";
    TmsHeaders headers;
    bool subjectReadable = true;
    bool senderReadable = true;

    MessageToJudge view() const {
        return {subject, sender, size, &headers, subjectReadable, senderReadable};
    }
};

// The usual headers of a message from `from`, with a last line that is
// never examined.
Message message(const std::string& subject, const std::string& from, Lines extra = {}) {
    Message m;
    m.subject = subject;
    m.sender = from;
    m.headers = {"Subject: " + subject, "From: " + from, "To: me@home.example"};
    m.headers.insert(m.headers.end(), extra.begin(), extra.end());
    m.headers.push_back("Content-Type: text/plain");
    return m;
}

std::string hits(const RuleTable& table, int row) { return table.cell(hitsColumn(table.kind()), row); }

class Pipeline : public ::testing::Test {
protected:
    Pipeline() {
        rules.SetGridHeadings();
        rules.options.Valid = false;  // turned on by the tests of the domain check
        classification.setUnknownDomainCheck(&domains);
    }

    int addRow(RuleTable& table, std::vector<std::string> cells) {
        int row = table.rowCount();
        if (table.ruleCount() == 1 && table.cell(keyColumn(table.kind()), 1).empty())
            row = 1;
        else
            table.setRowCount(row + 1);
        for (std::size_t col = 0; col < cells.size(); ++col) table.setCell(static_cast<int>(col), row, cells[col]);
        return row;
    }
    int subjectRule(const std::string& op, const std::string& pattern, bool del, bool caseSensitive = false) {
        return addRow(rules.gridSubject, {"", op, pattern, caseSensitive ? "Yes" : "No", del ? "Yes" : "No", "0"});
    }
    int senderRule(const std::string& what, const std::string& op, const std::string& pattern, bool del) {
        return addRow(rules.gridFrom, {"", what, op, pattern, del ? "Yes" : "No", "0"});
    }
    int headerRule(const std::string& kind, const std::string& text, bool del, bool caseSensitive = false) {
        return addRow(rules.gridHeader, {"", kind, text, caseSensitive ? "Yes" : "No", del ? "Yes" : "No", "0"});
    }
    int exceptionRule(const std::string& what, const std::string& op, const std::string& pattern,
                      bool caseSensitive = false, const std::string& image = "") {
        return addRow(rules.gridExcept, {what, op, pattern, caseSensitive ? "Yes" : "No", "0", "", image});
    }

    int judge(const Message& m, int mark = -1) { return classification.judge(m.view(), mark); }
    Lines explain(const Message& m, int mark = -1) {
        host.explain = true;
        host.lines.clear();
        judge(m, mark);
        host.explain = false;
        return host.lines;
    }

    testing::TempFolder folder;
    SpamRules rules{folder.path()};
    KnownList known;
    RecordingHost host;
    FakeResolver resolver;
    std::string unknownCount = "0";
    UnknownDomainCheck domains{resolver, unknownCount};
    Classification classification{rules, known, host};
};

TEST(ReasonLine, FollowsTheMemoLayout) {
    struct Case {
        bool del, exception;
        const char* what;
        const char* op;
        const char* pattern;
        bool caseSensitive;
        const char* line;
    } cases[] = {
        {true, false, "Subject", "Contains", "free", false, "Delete   :  Subject Contains \"free\" "},
        {false, false, "Subject", "Contains", "free", true,
         "Question :  Subject Contains \"free\"  (Case Sensitive)"},
        {false, false, "Subject", "Is blank", "", true, "Question :  Subject Is blank"},
        {true, true, "Domain name", "Equals", "a.example", false, "Exception :  Domain name Equals \"a.example\" "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(reasonLine(c.del, c.exception, c.what, c.op, c.pattern, c.caseSensitive), c.line) << c.line;
}

TEST_F(Pipeline, AnExceptionLeavesEveryOtherCheckUnrun) {
    const int exception = exceptionRule("Domain name", "Equals", "FRIEND.example");
    const int subject = subjectRule("Contains", "offer", true);
    rules.options.QLarger = true;
    rules.options.largerNum = 10;
    known.assign({"pal@friend.example"});
    Message m = message("special offer", "pal@friend.example");
    EXPECT_EQ(judge(m), 3);
    EXPECT_EQ(hits(rules.gridExcept, exception), "1");
    EXPECT_EQ(hits(rules.gridSubject, subject), "0");
}

TEST_F(Pipeline, ExceptionKindsAndTheirPictures) {
    struct Case {
        const char* name;
        const char* what;
        const char* op;
        const char* pattern;
        bool caseSensitive;
        const char* image;
        int mark;  // -1: no exception
    } cases[] = {
        {"domain ends the address", "Domain name", "Equals", "Friend.Example", false, "", 3},
        {"domain elsewhere", "Domain name", "Equals", "friend", false, "", -1},
        {"address starts it", "E-mail address", "Equals", "PAL@", false, "7", 7},
        {"subject operator", "Subject", "Contains (whole word)", "minutes", false, "14", 14},
        {"subject case", "Subject", "Contains", "MINUTES", true, "", -1},
        {"any header", "Any Header", "Starts with", "x-list:", false, "", 3},
        {"field with colon", "X-List:", "Equals", "club news", false, "", 3},
        {"field without colon", "x-list", "Contains", "club", false, "", 3},
        {"missing field", "X-Other:", "Contains", "club", false, "", -1},
        {"picture not a number", "Subject", "Contains", "minutes", false, "x", 3},
    };
    for (const Case& c : cases) {
        rules.gridExcept = RuleTable(RuleTableKind::Exception);
        exceptionRule(c.what, c.op, c.pattern, c.caseSensitive, c.image);
        const Message m = message("Club minutes", "pal@friend.example", {"X-List: Club News"});
        EXPECT_EQ(judge(m), c.mark) << c.name;
    }
}

TEST_F(Pipeline, AnExceptionRowWithoutWhatIsSkippedAndTheScanGoesOn) {
    exceptionRule("Domain name", "Equals", "elsewhere.example");
    const int blank = addRow(rules.gridExcept, {"", "Equals", "pal@", "No", "0", "", ""});
    const int last = exceptionRule("E-mail address", "Equals", "pal@", false, "9");
    EXPECT_EQ(judge(message("hello", "pal@friend.example")), 9);
    EXPECT_EQ(hits(rules.gridExcept, blank), "0");
    EXPECT_EQ(hits(rules.gridExcept, last), "1");
}

TEST_F(Pipeline, ADeleteSubjectRuleLeavesTheSenderTableUnscanned) {
    const int subject = subjectRule("Contains", "cash", true);
    const int sender = senderRule("Domain name", "Equals", "bulk.example", false);
    EXPECT_EQ(judge(message("Fast cash", "x@bulk.example")), 0);
    EXPECT_EQ(hits(rules.gridSubject, subject), "1");
    EXPECT_EQ(hits(rules.gridFrom, sender), "0");
}

TEST_F(Pipeline, HitCountersFollowTheStopRule) {
    struct Case {
        const char* name;
        bool firstDel, secondDel;
        int mark;
        const char* firstHits;
        const char* secondHits;
    } cases[] = {
        {"two question rules", false, false, 1, "1", "1"},
        {"question then delete", false, true, 0, "1", "1"},
        {"delete then question", true, false, 0, "1", "0"},
    };
    for (const Case& c : cases) {
        rules.gridSubject = RuleTable(RuleTableKind::Subject);
        const int first = subjectRule("Contains", "cash", c.firstDel);
        const int second = subjectRule("Ends with", "NOW", c.secondDel);
        EXPECT_EQ(judge(message("cash now", "a@b.example")), c.mark) << c.name;
        EXPECT_EQ(hits(rules.gridSubject, first), c.firstHits) << c.name;
        EXPECT_EQ(hits(rules.gridSubject, second), c.secondHits) << c.name;
    }
}

TEST_F(Pipeline, AnEmptyRuleEndsTheTable) {
    subjectRule("Contains", "nothing here", false);
    addRow(rules.gridSubject, {"", "", "", "No", "No", "0"});
    const int after = subjectRule("Contains", "cash", true);
    EXPECT_EQ(judge(message("cash", "a@b.example")), -1);
    EXPECT_EQ(hits(rules.gridSubject, after), "0");
}

TEST_F(Pipeline, AHeaderRuleCountsEveryMatchingLine) {
    const int rule = headerRule("Contains", "relay", false);
    const Message m = message("hi", "a@b.example", {"Received: from relay1", "Received: from relay2", "Received: by RELAY3"});
    EXPECT_EQ(judge(m), 1);
    EXPECT_EQ(hits(rules.gridHeader, rule), "3");
}

TEST_F(Pipeline, ADeleteHeaderRuleStopsAtItsFirstLine) {
    const int rule = headerRule("Contains", "relay", true);
    const int later = headerRule("Contains", "from", false);
    const Message m = message("hi", "a@b.example", {"Received: from relay1", "Received: from relay2"});
    EXPECT_EQ(judge(m), 0);
    EXPECT_EQ(hits(rules.gridHeader, rule), "1");
    EXPECT_EQ(hits(rules.gridHeader, later), "0");
}

TEST_F(Pipeline, TheLastStoredHeaderLineIsNeverExamined) {
    const int rule = headerRule("Contains", "text/plain", true);
    const int exception = exceptionRule("Any Header", "Contains", "text/plain");
    EXPECT_EQ(judge(message("hi", "a@b.example")), -1);
    EXPECT_EQ(hits(rules.gridHeader, rule), "0");
    EXPECT_EQ(hits(rules.gridExcept, exception), "0");

    // Not the last line any more: both see it.
    Message m = message("hi", "a@b.example");
    m.headers.push_back("X-Last: 1");
    EXPECT_EQ(judge(m), 3);
    rules.gridExcept = RuleTable(RuleTableKind::Exception);
    EXPECT_EQ(judge(m), 0);
}

TEST_F(Pipeline, MailboxRulesApplyToTheirMailboxOnly) {
    struct Case {
        const char* name;
        const char* text;
        int checked;
        int mark;
    } cases[] = {
        {"other mailbox", "me@work.example - MailBox #2", 1, -1},
        {"its mailbox", "me@work.example - MailBox #2", 2, 1},
        {"its mailbox, address in To", "me@HOME.example - MailBox #2", 2, -1},
        {"no number", "me@work.example - MailBox #", 1, -1},
        {"not a number", "me@work.example - MailBox #one", 1, -1},
        {"number and more", "me@work.example - MailBox #1x", 1, -1},
        {"no marker", "me@work.example", 1, -1},
        {"no mailbox checked", "me@work.example - MailBox #0", 0, -1},
        // A blank address is in every "To:": such a rule would mark every message.
        {"blank address", " - MailBox #1", 1, -1},
        {"blank address of blanks", " \r\n\b - MailBox #1", 1, -1},
        {"a tab is an address", "\t - MailBox #1", 1, 1},
    };
    for (const Case& c : cases) {
        rules.gridHeader = RuleTable(RuleTableKind::Header);
        headerRule("To does not contain", c.text, false);
        // A broken rule must not stop the ones after it.
        const int later = headerRule("Contains", "X-Later", false);
        host.mailbox = c.checked;
        EXPECT_EQ(judge(message("hi", "a@b.example", {"X-Later: yes"})), 1) << c.name;
        EXPECT_EQ(hits(rules.gridHeader, later), "1") << c.name;
        rules.gridHeader.setRowCount(2);
        EXPECT_EQ(judge(message("hi", "a@b.example")), c.mark) << c.name;
    }
}

TEST_F(Pipeline, SenderHeaderRules) {
    struct Case {
        const char* name;
        const char* condition;
        Lines headers;
        int mark;
    } cases[] = {
        {"reply-to elsewhere", "does not match Reply-to",
         {"From: Ann <ann@a.example>", "Reply-to: other@b.example", "X: 1"}, 1},
        {"reply-to same, other case", "does not match Reply-to",
         {"From: ann@a.example", "Reply-To: <ANN@A.example>", "X: 1"}, -1},
        {"no reply-to", "does not match Reply-to", {"From: ann@a.example", "X: 1"}, -1},
        {"to equals from", "equals To field", {"From: ann@a.example", "To: Ann <ANN@a.example>", "X: 1"}, 1},
        {"to contains from", "equals To field", {"From: ann@a.example", "To: joann@a.example", "X: 1"}, 1},
        {"to differs", "equals To field", {"From: ann@a.example", "To: bob@a.example", "X: 1"}, -1},
        {"no to", "equals To field", {"From: ann@a.example", "X: 1"}, -1},
    };
    for (const Case& c : cases) {
        rules.gridHeader = RuleTable(RuleTableKind::Header);
        headerRule("Sender", c.condition, false);
        Message m;
        m.sender = "ann@a.example";
        m.headers = c.headers;
        EXPECT_EQ(judge(m), c.mark) << c.name;
    }
}

TEST_F(Pipeline, SenderRules) {
    struct Case {
        const char* what;
        const char* op;
        const char* pattern;
        const char* sender;
        int mark;
    } cases[] = {
        {"Domain name", "Equals", "BULK.example", "x@bulk.example", 1},
        {"E-mail address", "Starts with", "sales", "Sales@shop.example", 1},
        {"E-mail address", "All numeric", "", "12_34@shop.example", 1},
        {"E-mail address", "All numeric", "", "ab12@shop.example", -1},
        {"Domain name", "First char numeric", "", "a@4u.example", 1},
        {"Domain name", "Is blank", "", "nobody@", 1},
        {"Sender", "Contains", "a", "a@b.example", -1},
    };
    for (const Case& c : cases) {
        rules.gridFrom = RuleTable(RuleTableKind::Sender);
        senderRule(c.what, c.op, c.pattern, false);
        EXPECT_EQ(judge(message("hi", c.sender)), c.mark) << c.what << ' ' << c.op << ' ' << c.sender;
    }
}

TEST_F(Pipeline, SizeLimits) {
    rules.options.QSmaller = true;
    rules.options.smallerNum = 100;
    rules.options.QLarger = true;
    rules.options.largerNum = 20000;
    rules.options.largerCheck = false;
    struct Case {
        const char* size;
        int mark;
    } cases[] = {
        {"99", 0}, {"100", -1}, {"101", -1}, {"19999", -1}, {"20000", -1}, {"20001", 1},
        {"", -1},  {"abc", -1}, {"12k", -1}, {"0", 0},
    };
    for (const Case& c : cases) {
        Message m = message("hi", "a@b.example");
        m.size = c.size;
        EXPECT_EQ(judge(m), c.mark) << '"' << c.size << '"';
        EXPECT_EQ(classification.tooBigSmall(c.size).has_value(), c.mark != -1) << '"' << c.size << '"';
    }
    rules.options.QSmaller = false;
    EXPECT_FALSE(classification.tooBigSmall("5"));
}

TEST_F(Pipeline, TheKnownListFindsTheAddressOrItsDomain) {
    const std::string longEntry(90, 'k');
    known.assign({"spam.example", "bad@else.example", longEntry});
    struct Case {
        const char* name;
        std::string sender;
        const char* kind;  // null: not found
        std::string entry;
    } cases[] = {
        {"domain", "anyone@Spam.Example", "Domain", "Spam.Example"},
        {"address", "BAD@else.example", "E-mail", "BAD@else.example"},
        {"other address of that domain", "good@else.example", nullptr, ""},
        {"first 80 characters of an entry", std::string(80, 'K'), "E-mail", std::string(80, 'K')},
        {"the whole long entry", longEntry, nullptr, ""},
        {"empty", "", nullptr, ""},
    };
    for (const Case& c : cases) {
        const auto hit = classification.isInKnownList(c.sender);
        ASSERT_EQ(hit.has_value(), c.kind != nullptr) << c.name;
        if (!hit) continue;
        EXPECT_EQ(hit->kind, c.kind) << c.name;
        EXPECT_EQ(hit->entry, c.entry) << c.name;
        EXPECT_EQ(judge(message("hi", c.sender)), 2) << c.name;
    }
    EXPECT_EQ(explain(message("hi", "x@spam.example")),
              Lines{"Delete   :  Domain \"spam.example\" is on the KNOWN SPAMMER BLACKLIST (you may edit if this is in "
                    "error)"});
    rules.options.QMonitor = false;
    EXPECT_EQ(judge(message("hi", "x@spam.example")), -1);
}

TEST_F(Pipeline, ExplainModeRunsEveryCheckAndCountsNothing) {
    const int subject = subjectRule("Contains", "cash", true);
    const int subject2 = subjectRule("Is UPPERCASE", "", false);
    const int sender = senderRule("Domain name", "Ends with", "example", false);
    const int header = headerRule("Contains", "received", false, false);
    rules.options.QLarger = true;
    rules.options.largerNum = 10;
    rules.options.Valid = true;
    rules.options.Question = true;
    resolver.unknown = {"nowhere.example"};
    known.assign({"nowhere.example"});
    const Message m = message("CASH", "x@nowhere.example", {"Received: a", "Received: b"});

    EXPECT_EQ(explain(m), (Lines{
                              "Delete   :  Size larger than \"10\" ",
                              "Delete   :  Subject Contains \"cash\" ",
                              "Question :  Subject Is UPPERCASE",
                              "Question :  Domain name Ends with \"example\" ",
                              "Question :  Header Contains \"received\" ",
                              "Question :  Header Contains \"received\" ",
                              "Delete   :  Reply to or From (nowhere.example)  is an \"Unknown domain\" ",
                              "Delete   :  Domain \"nowhere.example\" is on the KNOWN SPAMMER BLACKLIST (you may edit "
                              "if this is in error)",
                          }));
    for (auto [table, row] : {std::pair{&rules.gridSubject, subject}, {&rules.gridSubject, subject2},
                              {&rules.gridFrom, sender}, {&rules.gridHeader, header}})
        EXPECT_EQ(hits(*table, row), "0");

    // Outside explain mode the size limit alone decides.
    EXPECT_EQ(judge(m), 0);
    EXPECT_EQ(hits(rules.gridSubject, subject), "0");
}

TEST_F(Pipeline, ExplainModeListsEveryExceptionLineOfAnyHeader) {
    exceptionRule("Any Header", "Starts with", "received", false, "5");
    exceptionRule("Subject", "Contains", "hi");  // the first exception that matches ends the scan
    const Message m = message("hi", "a@b.example", {"Received: a", "Received: b"});
    EXPECT_EQ(explain(m), (Lines{"Exception :  Any Header Received: a Starts with \"received\" ",
                                 "Exception :  Any Header Received: b Starts with \"received\" "}));
    EXPECT_EQ(hits(rules.gridExcept, 1), "0");
}

TEST_F(Pipeline, ReasonLinesOfTheHeaderForms) {
    headerRule("To does not contain", "me@work.example - MailBox #1", false);
    headerRule("Sender", "does not match Reply-to", true);
    headerRule("Sender", "equals To field", false);
    exceptionRule("X-Mailer", "Contains", "nothing");
    Message m;
    m.sender = "ann@a.example";
    m.headers = {"From: ann@a.example", "To: ANN@a.example", "Reply-to: other@b.example", "X-Mailer: Mass 2",
                 "Last: 1"};
    EXPECT_EQ(explain(m), (Lines{
                              "Question :  Header \"ANN@a.example\" To does not contain \"me@work.example\" ",
                              "Delete   :  Header Sender \"other@b.example does not match Reply-to ann@a.example\" ",
                              "Question :  Header Sender \"ANN@a.example equals To field ann@a.example\" ",
                          }));
    rules.gridExcept.setCell(2, 1, "mass");
    EXPECT_EQ(explain(m), Lines{"Exception :  X-Mailer Mass 2 Contains \"mass\" "});
}

TEST_F(Pipeline, UnknownDomainsMarkByTheChosenMark) {
    rules.options.Valid = true;
    resolver.unknown = {"nowhere.example"};
    EXPECT_EQ(judge(message("hi", "a@nowhere.example")), 1);
    EXPECT_EQ(unknownCount, "1");
    rules.options.Question = true;
    EXPECT_EQ(judge(message("hi", "b@nowhere.example")), 0);
    EXPECT_EQ(unknownCount, "1");  // asked once per run
    EXPECT_EQ(judge(message("hi", "a@known.example")), -1);
    EXPECT_EQ(resolver.asked, (Lines{"nowhere.example", "known.example"}));
    rules.options.Valid = false;
    EXPECT_EQ(judge(message("hi", "c@nowhere2.example")), -1);
    EXPECT_EQ(resolver.asked.size(), 2u);
}

TEST_F(Pipeline, AnUndecodableFieldFailsOnlyTheChecksThatReadIt) {
    rules.options.Valid = true;
    resolver.unknown = {"nowhere.example"};
    headerRule("Sender", "equals To field", true);
    const int subject = subjectRule("Contains", "hello", false);
    const int sender = senderRule("E-mail address", "Is blank", "", true);
    Message m = message("hello", "", {"Reply-to: x@nowhere.example"});
    m.headers[1] = "From: =?iso-8859-1?B?@@@@?=";
    m.senderReadable = false;
    // No domain check, no sender rule, no header sender rule: only the subject.
    EXPECT_EQ(judge(m), 1);
    EXPECT_EQ(hits(rules.gridSubject, subject), "1");
    EXPECT_EQ(hits(rules.gridFrom, sender), "0");
    EXPECT_TRUE(resolver.asked.empty());
}

TEST_F(Pipeline, MarksAreOnlyEverSet) {
    subjectRule("Contains", "maybe", false);
    struct Case {
        const char* subject;
        int before, after;
    } cases[] = {
        {"nothing", 0, 0}, {"nothing", 5, 5}, {"maybe", 0, 0}, {"maybe", 2, 1}, {"maybe", 7, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(judge(message(c.subject, "a@b.example"), c.before), c.after) << c.subject;
}

TEST_F(Pipeline, HitCountersReadBadTextAsZero) {
    const int row = subjectRule("Contains", "x", false);
    for (auto [before, after] : {std::pair{"007", "8"}, {"", "1"}, {"-", "1"}, {"12a", "1"}, {"41", "42"}}) {
        rules.gridSubject.setCell(5, row, before);
        judge(message("x", "a@b.example"));
        EXPECT_EQ(hits(rules.gridSubject, row), after) << before;
    }
}

TEST_F(Pipeline, AddSenderExceptionFillsTheEmptyRowThenAppends) {
    classification.AddSenderException("a@b.example");
    classification.AddSenderException("c@d.example");
    ASSERT_EQ(rules.gridExcept.ruleCount(), 2);
    for (int row : {1, 2}) {
        EXPECT_EQ(rules.gridExcept.cell(0, row), "E-mail address");
        EXPECT_EQ(rules.gridExcept.cell(1, row), "Equals");
        EXPECT_EQ(rules.gridExcept.cell(3, row), "No");
        EXPECT_EQ(rules.gridExcept.cell(4, row), "0");
        EXPECT_EQ(rules.gridExcept.cell(6, row), "3");
    }
    EXPECT_EQ(rules.gridExcept.cell(2, 2), "c@d.example");
    EXPECT_EQ(judge(message("hi", "C@d.example")), 3);
}

TEST_F(Pipeline, EditedRulesTakeEffectAtOnce) {
    const int row = subjectRule("Contains", "cash", true);
    EXPECT_EQ(judge(message("cash", "a@b.example")), 0);
    rules.gridSubject.setCell(2, row, "money");
    EXPECT_EQ(judge(message("cash", "a@b.example")), -1);
    rules.gridSubject = RuleTable(RuleTableKind::Subject);
    subjectRule("Contains", "cash", false);
    EXPECT_EQ(judge(message("cash", "a@b.example")), 1);
}

// ---- The prepared rules give the plain evaluators' results ----

std::string randomText(std::mt19937& random, std::size_t maxLength) {
    static constexpr std::string_view alphabet = "aAbBzZ09_ .,-@\r\n\b\t\xe9\xc9";
    std::string text(random() % (maxLength + 1), ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    return text;
}

const std::vector<std::string> kOperators = {"Contains",    "Contains (whole word)", "Equals",
                                             "Starts with", "Ends with",             "Is blank",
                                             "Is UPPERCASE", "All numeric",          "50% numeric",
                                             "First char numeric", "Unknown"};

TEST(PreparedPattern, MatchesAsTheEvaluators) {
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        const std::string text = randomText(random, 12);
        std::string pattern = randomText(random, 4);
        if (random() % 4 == 0) pattern = text.substr(random() % (text.size() + 1), random() % 5);
        const std::string& op = kOperators[random() % 6];
        const bool caseSensitive = random() % 2;
        PairSet pairs(6 + random() % 7);  // small sets collide often
        const std::string upper = asciiUpper(text);
        pairs.add(upper);
        const PreparedPattern prepared = preparePattern(op, pattern, caseSensitive);
        ASSERT_EQ(matchPattern(prepared, text, upper, &pairs), MatchHeaderLine(text, op, pattern, caseSensitive))
            << '"' << text << "\" " << op << " \"" << pattern << '"' << caseSensitive;
    }
    // "Ends with" never matches a pattern longer than 255 characters.
    const std::string longText(300, 'A');
    EXPECT_FALSE(matchPattern(preparePattern("Ends with", longText.substr(0, 256), false), longText, longText, nullptr));
    EXPECT_TRUE(matchPattern(preparePattern("Ends with", longText.substr(0, 255), false), longText, longText, nullptr));
}

// Random rule tables and messages judged twice, with prepared rules and with
// the plain evaluators: marks, hit counters and reason lines agree.
TEST(PreparedRules, JudgeAsThePlainEvaluators) {
    std::mt19937 random(11);
    testing::TempFolder folder;
    std::set<int> marksSeen;
    for (int round = 0; round < 40; ++round) {
        SpamRules tables[2] = {SpamRules(folder.path()), SpamRules(folder.path())};
        SpamRules& base = tables[0];
        base.options.Valid = false;
        base.options.QMonitor = false;
        const auto fill = [&](RuleTable& table, int most, auto makeRow) {
            const int rows = static_cast<int>(random() % (most + 1));
            table.setRowCount(rows + 1);
            for (int row = 1; row <= rows; ++row) {
                const std::vector<std::string> cells = makeRow();
                for (std::size_t col = 0; col < cells.size(); ++col)
                    table.setCell(static_cast<int>(col), row, cells[col]);
            }
        };
        const auto yesNo = [&] { return std::string(random() % 2 ? "Yes" : "No"); };
        const auto op = [&] { return kOperators[random() % kOperators.size()]; };
        fill(base.gridSubject, 30, [&] { return std::vector<std::string>{"", op(), randomText(random, 3), yesNo(), random() % 5 ? "No" : "Yes", "0"}; });
        fill(base.gridFrom, 30, [&] {
            const char* what[] = {"E-mail address", "Domain name", "Other"};
            return std::vector<std::string>{"", what[random() % 3], op(), randomText(random, 3), random() % 5 ? "No" : "Yes", "0"};
        });
        fill(base.gridHeader, 20, [&] { return std::vector<std::string>{"", op(), randomText(random, 3), yesNo(), random() % 5 ? "No" : "Yes", "0"}; });
        fill(base.gridExcept, 10, [&] {
            const char* what[] = {"Domain name", "E-mail address", "Subject", "Any Header", "X-A", ""};
            return std::vector<std::string>{what[random() % 6], op(), randomText(random, 4), yesNo(), "0", "", ""};
        });
        tables[1] = base;

        KnownList known;
        RecordingHost hosts[2];
        Classification prepared(tables[0], known, hosts[0]);
        Classification reference(tables[1], known, hosts[1]);
        reference.setReferenceMatching(true);
        for (int i = 0; i < 50; ++i) {
            Message m;
            m.subject = randomText(random, 10);
            m.sender = randomText(random, 8);
            for (int line = 0; line < 4; ++line) m.headers.push_back(randomText(random, 10));
            m.headers.push_back("X-A: " + randomText(random, 6));
            m.headers.push_back(randomText(random, 10));
            const bool explain = random() % 3 == 0;
            hosts[0].explain = hosts[1].explain = explain;
            hosts[0].lines.clear();
            hosts[1].lines.clear();
            const int mark = prepared.judge(m.view(), -1);
            ASSERT_EQ(mark, reference.judge(m.view(), -1)) << round << '/' << i;
            marksSeen.insert(mark);
            ASSERT_EQ(hosts[0].lines, hosts[1].lines) << round << '/' << i;
        }
        for (RuleTable SpamRules::*table : {&SpamRules::gridSubject, &SpamRules::gridFrom, &SpamRules::gridHeader,
                                            &SpamRules::gridExcept})
            for (int row = 1; row < (tables[0].*table).rowCount(); ++row)
                ASSERT_EQ(hits(tables[0].*table, row), hits(tables[1].*table, row)) << round;
    }
    // The tables were varied enough to reach every kind of verdict.
    EXPECT_TRUE(marksSeen.contains(-1) && marksSeen.contains(0) && marksSeen.contains(1) && marksSeen.contains(3))
        << ::testing::PrintToString(marksSeen);
}


// A message of the learning fixture as a list row shows it.
Message learned(const TmsHeaders& headers, std::uint64_t size) {
    Message m;
    std::string value;
    GetFieldValue(headers, "Subject", value);
    m.subject = value;
    GetFieldValue(headers, "From", value);
    std::string address, name;
    SplitAddress(value, address, name);
    m.sender = address;
    m.size = std::to_string(size);
    m.headers = headers;
    return m;
}

class LearningStep : public Pipeline {
protected:
    LearningStep() {
        trainLearningFixture(model);
        classification.setLearning(&model, settings);
    }
    void use(bool enabled, bool deleteLearnedSpam, LearningCutoffs cutoffs = {}) {
        classification.setLearning(&model, LearningSettings{enabled, deleteLearnedSpam, cutoffs});
    }
    LearnedModel model;
    LearningSettings settings;
    const Message spam = learned(learningSpam(700), kLearningSpamSize);
    const Message ham = learned(learningHam(700), kLearningHamSize);
};

TEST_F(LearningStep, OnlyAddsMarksWhereTheRulesLeftNoneOrAQuestion) {
    const double spamScore = judgeLearned(model, learningTokens(spam.headers, kLearningSpamSize), {}).score;
    ASSERT_GE(spamScore, LearningCutoffs{}.spam);
    const LearningCutoffs unsureBand{1.01, 0.01};  // the spam scores fall between the cut-offs
    const struct {
        const char* name;
        bool deleteOption;
        LearningCutoffs cutoffs;
        const Message* message;
        int before, after;
    } cases[] = {
        {"spam questioned", false, {}, &spam, -1, 1},
        {"questioned stays", false, {}, &spam, 1, 1},
        {"ham untouched", false, {}, &ham, -1, -1},
        {"unsure questioned", false, unsureBand, &spam, -1, 1},
        {"option on: spam deleted", true, {}, &spam, -1, 0},
        {"option on: a question becomes a deletion", true, {}, &spam, 1, 0},
        {"option on: unsure only questioned", true, unsureBand, &spam, -1, 1},
        {"option on: ham untouched", true, {}, &ham, -1, -1},
        {"known spammer mark kept", true, {}, &spam, 2, 2},
        {"exception picture kept", true, {}, &spam, 5, 5},
        {"delete mark kept", false, {}, &spam, 0, 0},
    };
    for (const auto& c : cases) {
        use(true, c.deleteOption, c.cutoffs);
        EXPECT_EQ(judge(*c.message, c.before), c.after) << c.name;
    }
}

TEST_F(LearningStep, NeverDeletesWhileTheOptionIsOff) {
    use(true, false);
    const LearningCutoffs eager = LearningCutoffs::preset(LearningCutoffs::kEager);
    for (const LearningCutoffs& cutoffs : {LearningCutoffs{}, eager, LearningCutoffs{0.0, 0.0}}) {
        use(true, false, cutoffs);
        for (int i = 0; i < 40; ++i) {
            EXPECT_NE(judge(learned(learningSpam(i), kLearningSpamSize)), 0) << i;
            EXPECT_NE(judge(learned(learningHam(i), kLearningHamSize)), 0) << i;
        }
    }
}

TEST_F(LearningStep, DoesNothingUntrainedOffOrWithoutAModel) {
    use(false, true);
    EXPECT_EQ(judge(spam), -1);
    classification.setLearning(nullptr, LearningSettings{true, true, {}});
    EXPECT_EQ(judge(spam), -1);
    LearnedModel young;
    trainLearningFixture(young, static_cast<int>(LearnedModel::kMessagesToJudge) - 1);
    classification.setLearning(&young, LearningSettings{true, true, {}});
    EXPECT_EQ(judge(spam), -1);
    EXPECT_TRUE(explain(spam).empty());
}

TEST_F(LearningStep, AnExceptionWins) {
    use(true, true);
    exceptionRule("Domain name", "Equals", "cheap-deals.example");
    EXPECT_EQ(judge(spam), 3);
    EXPECT_TRUE(explain(spam).size() == 1 && explain(spam)[0].rfind("Exception", 0) == 0);
}

TEST_F(LearningStep, ExplainsItsScoreAndTokens) {
    use(true, false);
    Lines lines = explain(spam);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Question :  Learned: 0.99 spam: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(" 0.9"), std::string::npos);
    use(true, true);
    lines = explain(spam);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Delete   :  Learned: ", 0), 0u) << lines[0];
    // After a delete rule the learned reason is still listed, and the mark stays the rule's.
    subjectRule("Contains", "cruise", true);
    lines = explain(spam);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("Delete   :  Learned: ", 0), 0u) << lines[1];
    EXPECT_TRUE(explain(ham).empty());
}

}  // namespace
}  // namespace quorvel
