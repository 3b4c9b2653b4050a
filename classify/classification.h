#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "classify/learned_judge.h"
#include "classify/unknown_domain.h"
#include "config/known_list.h"
#include "config/spam_rules.h"
#include "mail/remote_info.h"

namespace quorvel {

// What the checks read of one message: the texts of its list row and the
// header lines of its POP3 record.
struct MessageToJudge {
    std::string_view subject;
    std::string_view sender;  // the bare address of From
    std::string_view size;    // octets, decimal
    const TmsHeaders* headers = nullptr;
    // False when the field behind the text could not be decoded: the checks
    // that read it do not match then.
    bool subjectReadable = true;
    bool senderReadable = true;
};

// One line of the explanation memo. `exception` overrides the delete flag's
// "Delete" or "Question" prefix.
std::string reasonLine(bool del, bool exception, std::string_view what, std::string_view op,
                       std::string_view pattern, bool caseSensitive);

// What the pipeline needs of the window that runs it.
class ClassificationHost {
public:
    virtual ~ClassificationHost() = default;
    // While true, every check runs, every match is reported and no hit counter moves.
    virtual bool explaining() const = 0;
    virtual void whyAdd(bool del, const std::string& what, const std::string& op, const std::string& pattern,
                        bool caseSensitive) = 0;
    virtual void whyExcept(const std::string& what, const std::string& op, const std::string& pattern,
                           bool caseSensitive) = 0;
    // The number (1 to 12) of the mailbox being checked, or 0.
    virtual int serverToIndex() = 0;
};

struct KnownListHit {
    std::string kind;   // "E-mail" or "Domain"
    std::string entry;  // the address or domain that was found
};

// The byte pairs that occur in some upper-cased texts, hashed into a few
// bits: a pattern one of whose pairs is missing cannot occur in any of the
// texts, so most rules are refused without a search. A set may hold pairs
// that never occurred, never the other way round.
class PairSet {
public:
    // 2^log2Bits bits, at most 4096: more texts want more bits.
    explicit PairSet(unsigned log2Bits);
    void add(std::string_view upper);
    bool has(std::uint16_t pair) const {
        const unsigned i = index(pair);
        return (bits_[i >> 6] >> (i & 63)) & 1u;
    }

private:
    unsigned index(std::uint16_t pair) const { return (pair * 0x9E3779B1u) >> shift_; }
    unsigned shift_;
    std::array<std::uint64_t, 64> bits_;  // only the first 2^log2Bits bits are used
};

enum class RuleOperator : std::uint8_t {
    Contains, ContainsWholeWord, Equals, StartsWith, EndsWith,
    IsBlank, IsUppercase, AllNumeric, HalfNumeric, FirstCharNumeric, Unknown
};
RuleOperator ruleOperator(std::string_view keyword);

// A pattern operator with its pattern made ready once per rule: upper-cased
// unless the case matters, and the byte pairs of its upper-cased form, all
// of which must occur in a text the pattern matches.
struct PreparedPattern {
    RuleOperator op = RuleOperator::Unknown;
    bool caseSensitive = false;
    std::string text;
    // Up to four pairs spread over the pattern; none for patterns under two bytes.
    std::array<std::uint16_t, 4> pairs{};
    std::uint8_t pairCount = 0;
};
PreparedPattern preparePattern(std::string_view op, std::string_view pattern, bool caseSensitive);
// False when the pattern cannot match any text whose pairs `pairs` holds.
bool mayOccurIn(const PreparedPattern& pattern, const PairSet& pairs);
// The five pattern operators on a text given as received and upper-cased,
// with the same results as the evaluators of operators.h; `pairs`, when
// given, holds at least the pairs of `upper`. Other operators never match.
bool matchPattern(const PreparedPattern& pattern, std::string_view text, std::string_view upper,
                  const PairSet* pairs);

// The rules of a table filed by one byte pair of their patterns, so that a
// text's own pairs name the few rules that may match it.
class PairIndex {
public:
    // Files rule `position` under one of the pattern's pairs, the one whose
    // bucket is emptiest so far; call finish() once all are added.
    void add(std::uint32_t position, const PreparedPattern& pattern);
    void finish();
    // Appends the rules filed under the pairs of `upper`, in no order and
    // possibly more than once.
    void collect(std::string_view upper, std::vector<std::uint32_t>& out) const;

private:
    static constexpr unsigned kLog2Buckets = 12;
    static unsigned bucket(std::uint16_t pair) { return (pair * 0x9E3779B1u) >> (32 - kLog2Buckets); }
    std::vector<std::pair<unsigned, std::uint32_t>> pending_;  // bucket, position
    std::vector<std::uint32_t> sizes_ = std::vector<std::uint32_t>(1u << kLog2Buckets);
    std::vector<std::uint32_t> starts_;  // per bucket, into positions_
    std::vector<std::uint32_t> positions_;
};

struct MessageView;

// The fixed order in which the rules judge a message, over the live rule
// tables of the spam settings window and the main window's known list.
class Classification {
public:
    Classification(SpamRules& rules, const KnownList& known, ClassificationHost& host);
    Classification(const Classification&) = delete;
    Classification& operator=(const Classification&) = delete;

    // Step 10 runs only with a check set (the main window owns it).
    void setUnknownDomainCheck(UnknownDomainCheck* check) { domains_ = check; }

    // The learning step, after every rule: it only adds a question mark (or,
    // with deleteLearnedSpam, a delete mark) to a row the rules left unmarked
    // or questioned. No model, or learning off: the step does nothing. The
    // model must outlive its use here.
    void setLearning(const LearnedModel* model, const LearningSettings& settings) {
        learned_ = model;
        learning_ = settings;
    }
    const LearningSettings& learning() const { return learning_; }

    // The mark a row gets, given the mark it has. Never clears a mark by
    // itself: a row no check fires on keeps it.
    int judge(const MessageToJudge& message, int mark);

    // The delete flag of the size limit that fires; nothing when none does
    // or the size is not a number.
    std::optional<bool> tooBigSmall(std::string_view size);
    // The sender's address, else its domain, on the known-spammer list.
    std::optional<KnownListHit> isInKnownList(std::string_view sender) const;
    // Adds one to a rule's hit counter, outside explain mode and while hits
    // are counted.
    void BumpUpGrid(RuleTable& table, int row);
    // Off while messages already counted are judged again: a rule's hits are
    // the messages it matched, once per listing.
    void setCountingHits(bool on) { countingHits_ = on; }
    bool countingHits() const { return countingHits_; }
    // An "E-mail address" / "Equals" exception with picture 3.
    void AddSenderException(const std::string& address);

    // Evaluates every rule from its cells with the plain evaluators instead
    // of the prepared forms; for comparing the two.
    void setReferenceMatching(bool on) { reference_ = on; }

private:
    struct ScanResult {
        bool matched = false;
        bool del = false;
        void add(bool rowDel) {
            matched = true;
            del = del || rowDel;
        }
    };
    struct SubjectRule {
        PreparedPattern pattern;
        bool del = false;
    };
    struct SenderRule {
        enum class What : std::uint8_t { Address, Domain, Other } what = What::Other;
        PreparedPattern pattern;  // never case-sensitive
        bool del = false;
    };
    struct HeaderRule {
        enum class Form : std::uint8_t { Text, Mailbox, NotReplyTo, EqualsTo } form = Form::Text;
        PreparedPattern pattern;  // Text
        std::string address;      // Mailbox
        int mailbox = 0;          // Mailbox; 0 when its number cannot be read
        bool caseFlag = false;
        bool del = false;
    };
    struct ExceptionRule {
        enum class Kind : std::uint8_t { Skip, Domain, Address, Subject, AnyHeader, Field } kind = Kind::Skip;
        PreparedPattern pattern;  // Subject, AnyHeader, Field
        std::string upperText;    // Domain, Address: column 2 upper-cased
        int image = 3;
    };
    template <typename Rule>
    struct Prepared {
        std::uint64_t revision = 0;  // no table has revision 0
        std::vector<Rule> rules;
        // Rules that need a pair of the subject, of the sender, and rules
        // that are tried whatever the text.
        PairIndex bySubject, bySender;
        std::vector<std::uint32_t> always;
    };
    // The positions of the rules worth trying on this message, in table order.
    template <typename Rule>
    const std::vector<std::uint32_t>& candidates(const Prepared<Rule>& prepared, MessageView& view);
    std::vector<std::uint32_t> candidates_;

    std::optional<int> qIsInException(MessageView& view);
    ScanResult qMarkThisSubject(MessageView& view);
    ScanResult qmarkThisSender(MessageView& view);
    ScanResult qMarkThisHeader(MessageView& view);
    ScanResult CheckDomain(MessageView& view);
    int judgeByLearning(const MessageToJudge& message, int mark);

    bool subjectMatches(const SubjectRule& rule, int row, MessageView& view) const;
    bool senderMatches(const SenderRule& rule, int row, MessageView& view) const;
    bool headerLineMatches(const HeaderRule& rule, int row, std::size_t line, MessageView& view) const;
    bool exceptionTextMatches(const ExceptionRule& rule, int row, std::string_view text, std::string_view upper,
                              const PairSet* pairs) const;

    const std::vector<SubjectRule>& subjectRules();
    const std::vector<SenderRule>& senderRules();
    const std::vector<HeaderRule>& headerRules();
    const std::vector<ExceptionRule>& exceptionRules();
    // The prepared cache of a table, or null for tables it does not know.
    std::uint64_t* preparedRevision(const RuleTable& table);

    SpamRules& rules_;
    const KnownList& known_;
    ClassificationHost& host_;
    UnknownDomainCheck* domains_ = nullptr;
    const LearnedModel* learned_ = nullptr;
    LearningSettings learning_;
    bool explain_ = false;  // for the message being judged
    bool countingHits_ = true;
    bool reference_ = false;
    Prepared<SubjectRule> subject_;
    Prepared<SenderRule> sender_;
    Prepared<HeaderRule> header_;
    Prepared<ExceptionRule> exception_;
};

}  // namespace quorvel
