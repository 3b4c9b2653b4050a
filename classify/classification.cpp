#include "classify/classification.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <climits>

#include "classify/learning_tokenizer.h"
#include "classify/operators.h"
#include "mail/headers.h"

namespace quorvel {

namespace {

constexpr std::size_t kEndsWithLimit = 255;  // "Ends with" never matches a longer pattern
constexpr const char* kYes = "Yes";
constexpr std::string_view kMailboxMarker = " - MailBox #";
constexpr int kMailboxes = 12;

// The marks the pipeline sets besides the exception pictures.
constexpr int kNoMark = -1;
constexpr int kDeleteMark = 0;
constexpr int kQuestionMark = 1;
constexpr int kKnownSpammerMark = 2;

const TmsHeaders kNoHeaders;

std::uint16_t pairAt(std::string_view upper, std::size_t i) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(upper[i]) << 8) |
                                      static_cast<unsigned char>(upper[i + 1]));
}

// A whole decimal number, or nothing.
std::optional<long long> decimal(std::string_view text) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// ASCII upper-casing in place, inline: it runs over every header byte.
void foldInPlace(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
}

bool isPatternOperator(RuleOperator op) { return op <= RuleOperator::EndsWith; }

// The five character operators show no pattern in a reason line.
bool hasNoPattern(RuleOperator op) { return op >= RuleOperator::IsBlank && op <= RuleOperator::FirstCharNumeric; }

std::string addressOf(const std::string& fieldValue) {
    std::string address, name;
    SplitAddress(fieldValue, address, name);
    return address;
}

}  // namespace

// The sender's address as the checks read it.
struct JudgedSender {
    std::string upper, domain, domainUpper;
    bool blank = false, domainBlank = false;
    PairSet pairs{8};  // of the whole address, so of its domain too
};

// One header field's decoded value; not readable when it cannot be decoded.
struct JudgedField {
    std::string name;
    bool readable = false;
    std::string value, upper;
    PairSet pairs{8};
};

// What the checks read of one message, each computed once per message and
// only when a check asks for it.
struct MessageView {
    explicit MessageView(const MessageToJudge& message)
        : in(message), headers(message.headers ? *message.headers : kNoHeaders) {}

    const MessageToJudge& in;
    const TmsHeaders& headers;

    const std::string& subjectUpper() {
        if (!subjectUpper_) subjectUpper_ = asciiUpper(in.subject);
        return *subjectUpper_;
    }
    const PairSet& subjectPairs() {
        if (!subjectPairs_) subjectPairs_.emplace(9).add(subjectUpper());
        return *subjectPairs_;
    }

    using Sender = JudgedSender;
    const Sender& sender() {
        if (!sender_) {
            Sender& s = sender_.emplace();
            s.upper = asciiUpper(in.sender);
            s.domain = domainPart(in.sender);
            s.domainUpper = asciiUpper(s.domain);
            s.blank = IsBlank(in.sender);
            s.domainBlank = IsBlank(s.domain);
            s.pairs.add(s.upper);
        }
        return *sender_;
    }
    // The character operators, on the local part of the address (part 0) or
    // on its domain (part 1); few rules use them.
    bool characterTest(RuleOperator op, int part) {
        if (!characterTests_) {
            const std::string parts[2] = {localPart(in.sender), domainPart(in.sender)};
            auto& t = characterTests_.emplace();
            for (int i = 0; i < 2; ++i) {
                t[i][0] = IsUppercaseText(parts[i]);
                t[i][1] = IsAllNumeric(parts[i]);
                t[i][2] = IsHalfNumeric(parts[i]);
                t[i][3] = IsFirstCharNumeric(parts[i]);
            }
        }
        const int which = op == RuleOperator::IsUppercase   ? 0
                          : op == RuleOperator::AllNumeric ? 1
                          : op == RuleOperator::HalfNumeric ? 2
                                                            : 3;
        return (*characterTests_)[part][which];
    }

    // The header lines the text rules look at: all but the last stored one.
    std::size_t lineCount() const { return headers.empty() ? 0 : headers.size() - 1; }
    std::string_view lineUpper(std::size_t i) {
        prepareLines();
        return std::string_view(linesUpper_).substr(lineStarts_[i], lineStarts_[i + 1] - lineStarts_[i]);
    }
    const PairSet& linePairs() {
        prepareLines();
        if (!linePairs_) linePairs_.emplace(12).add(linesUpper_);
        return *linePairs_;
    }

    using Field = JudgedField;
    // A field's decoded value, looked up once per name.
    const Field& field(const std::string& name) {
        for (const Field& f : fields_)
            if (f.name == name) return f;
        Field f;
        f.name = name;
        try {
            GetFieldValue(headers, name, f.value);
            f.readable = true;
            f.upper = asciiUpper(f.value);
            f.pairs.add(f.upper);
        } catch (const EMessageParserError&) {
            f.value.clear();
        }
        fields_.push_back(std::move(f));
        return fields_.back();
    }
    // The address part of a field, or nothing when it cannot be decoded.
    std::optional<std::string> addressField(const std::string& name) {
        const Field& f = field(name);
        if (!f.readable) return std::nullopt;
        return addressOf(f.value);
    }

    int mailbox(ClassificationHost& host) {
        if (!mailbox_) mailbox_ = host.serverToIndex();
        return *mailbox_;
    }

private:
    void prepareLines() {
        if (linesReady_) return;
        lineStarts_.reserve(lineCount() + 1);
        std::size_t total = 0;
        for (std::size_t i = 0; i < lineCount(); ++i) total += headers[i].size();
        linesUpper_.reserve(total);
        for (std::size_t i = 0; i < lineCount(); ++i) {
            lineStarts_.push_back(linesUpper_.size());
            linesUpper_ += headers[i];
        }
        lineStarts_.push_back(linesUpper_.size());
        foldInPlace(linesUpper_);
        linesReady_ = true;
    }

    std::optional<std::string> subjectUpper_;
    std::optional<PairSet> subjectPairs_;
    std::optional<Sender> sender_;
    std::optional<std::array<std::array<bool, 4>, 2>> characterTests_;
    std::string linesUpper_;  // the examined lines upper-cased, one after another
    std::vector<std::size_t> lineStarts_;
    bool linesReady_ = false;
    std::optional<PairSet> linePairs_;
    std::deque<Field> fields_;  // references to a field stay valid as others are added
    std::optional<int> mailbox_;
};

std::string reasonLine(bool del, bool exception, std::string_view what, std::string_view op,
                       std::string_view pattern, bool caseSensitive) {
    std::string line = exception ? "Exception : " : del ? "Delete   : " : "Question : ";
    line += ' ';
    line += what;
    line += ' ';
    line += op;
    if (pattern.empty()) return line;
    line += " \"";
    line += pattern;
    line += "\" ";
    if (caseSensitive) line += " (Case Sensitive)";
    return line;
}

PairSet::PairSet(unsigned log2Bits) : shift_(32 - log2Bits) {
    const std::size_t words = std::max<std::size_t>(1, (std::size_t{1} << log2Bits) / 64);
    std::fill_n(bits_.begin(), std::min(words, bits_.size()), 0);
}

void PairSet::add(std::string_view upper) {
    for (std::size_t i = 0; i + 1 < upper.size(); ++i) {
        const unsigned bit = index(pairAt(upper, i));
        bits_[bit >> 6] |= std::uint64_t{1} << (bit & 63);
    }
}

RuleOperator ruleOperator(std::string_view keyword) {
    static constexpr std::pair<std::string_view, RuleOperator> kOperators[] = {
        {kOpContains, RuleOperator::Contains},           {kOpContainsWholeWord, RuleOperator::ContainsWholeWord},
        {kOpEquals, RuleOperator::Equals},               {kOpStartsWith, RuleOperator::StartsWith},
        {kOpEndsWith, RuleOperator::EndsWith},           {kOpIsBlank, RuleOperator::IsBlank},
        {kOpIsUppercase, RuleOperator::IsUppercase},     {kOpAllNumeric, RuleOperator::AllNumeric},
        {kOpHalfNumeric, RuleOperator::HalfNumeric},     {kOpFirstCharNumeric, RuleOperator::FirstCharNumeric},
    };
    for (const auto& [name, op] : kOperators)
        if (keyword == name) return op;
    return RuleOperator::Unknown;
}

PreparedPattern preparePattern(std::string_view op, std::string_view pattern, bool caseSensitive) {
    PreparedPattern prepared;
    prepared.op = ruleOperator(op);
    prepared.caseSensitive = caseSensitive;
    prepared.text = caseSensitive ? std::string(pattern) : asciiUpper(pattern);
    // The pairs of the upper-cased pattern: a case-sensitive match is a
    // match of the upper-cased texts too.
    const std::string upper = asciiUpper(pattern);
    if (upper.size() >= 2) {
        const std::size_t last = upper.size() - 2;
        for (std::size_t k = 0; k < prepared.pairs.size(); ++k) {
            const std::uint16_t pair = pairAt(upper, k * last / (prepared.pairs.size() - 1));
            if (std::find(prepared.pairs.begin(), prepared.pairs.begin() + prepared.pairCount, pair) ==
                prepared.pairs.begin() + prepared.pairCount)
                prepared.pairs[prepared.pairCount++] = pair;
        }
    }
    return prepared;
}

bool mayOccurIn(const PreparedPattern& pattern, const PairSet& pairs) {
    for (std::uint8_t i = 0; i < pattern.pairCount; ++i)
        if (!pairs.has(pattern.pairs[i])) return false;
    return true;
}

bool matchPattern(const PreparedPattern& pattern, std::string_view text, std::string_view upper,
                  const PairSet* pairs) {
    const std::string_view compared = pattern.caseSensitive ? text : upper;
    const std::string_view p = pattern.text;
    // Every operator but an empty pattern needs the pattern inside the text.
    if (pairs && isPatternOperator(pattern.op) && !mayOccurIn(pattern, *pairs)) return false;
    switch (pattern.op) {
        case RuleOperator::Contains: return !p.empty() && compared.find(p) != std::string_view::npos;
        case RuleOperator::ContainsWholeWord:
            if (IsBlank(text) || IsBlank(p) || compared.find(p) == std::string_view::npos) return false;
            return WholeWordCheck(compared, p, true);
        case RuleOperator::Equals: return compared == p;
        case RuleOperator::StartsWith: return compared.starts_with(p);
        case RuleOperator::EndsWith: return p.size() <= kEndsWithLimit && compared.ends_with(p);
        default: return false;
    }
}

void PairIndex::add(std::uint32_t position, const PreparedPattern& pattern) {
    unsigned best = bucket(pattern.pairs[0]);
    for (std::uint8_t i = 1; i < pattern.pairCount; ++i)
        if (sizes_[bucket(pattern.pairs[i])] < sizes_[best]) best = bucket(pattern.pairs[i]);
    ++sizes_[best];
    pending_.emplace_back(best, position);
}

void PairIndex::finish() {
    starts_.assign(sizes_.size() + 1, 0);
    for (std::size_t b = 0; b < sizes_.size(); ++b) starts_[b + 1] = starts_[b] + sizes_[b];
    positions_.resize(pending_.size());
    std::vector<std::uint32_t> next(starts_.begin(), starts_.end() - 1);
    for (const auto& [b, position] : pending_) positions_[next[b]++] = position;
    pending_.clear();
    pending_.shrink_to_fit();
}

void PairIndex::collect(std::string_view upper, std::vector<std::uint32_t>& out) const {
    if (positions_.empty()) return;
    for (std::size_t i = 0; i + 1 < upper.size(); ++i) {
        const unsigned b = bucket(pairAt(upper, i));
        out.insert(out.end(), positions_.begin() + starts_[b], positions_.begin() + starts_[b + 1]);
    }
}

template <typename Rule>
const std::vector<std::uint32_t>& Classification::candidates(const Prepared<Rule>& prepared, MessageView& view) {
    candidates_ = prepared.always;
    if (reference_) {
        // The plain evaluators try every rule.
        candidates_.resize(prepared.rules.size());
        for (std::uint32_t i = 0; i < candidates_.size(); ++i) candidates_[i] = i;
        return candidates_;
    }
    // The rules always tried are in order already; only the few found by
    // their pairs need sorting before the two are merged.
    const auto middle = static_cast<std::ptrdiff_t>(candidates_.size());
    prepared.bySubject.collect(view.subjectUpper(), candidates_);
    prepared.bySender.collect(view.sender().upper, candidates_);
    std::sort(candidates_.begin() + middle, candidates_.end());
    std::inplace_merge(candidates_.begin(), candidates_.begin() + middle, candidates_.end());
    candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
    return candidates_;
}

Classification::Classification(SpamRules& rules, const KnownList& known, ClassificationHost& host)
    : rules_(rules), known_(known), host_(host) {}

// ---- Prepared rules, rebuilt only when a table's revision moved ----

namespace {

// Which text a rule needs a pair of: Subject and Sender for pattern operators,
// SenderText for any operator (the exception rows that compare addresses).
enum class Source { Subject, Sender, SenderText, Always, Never };

// Files every rule under the text it needs, or among those always tried.
template <typename Prepared, typename SourceOf>
void fileRules(Prepared& prepared, SourceOf sourceOf) {
    prepared.bySubject = PairIndex();
    prepared.bySender = PairIndex();
    prepared.always.clear();
    for (std::uint32_t i = 0; i < prepared.rules.size(); ++i) {
        const auto [source, pattern] = sourceOf(prepared.rules[i]);
        if (source == Source::Never) continue;
        const bool filed = pattern->pairCount > 0 && (source == Source::SenderText || isPatternOperator(pattern->op));
        if (filed && source == Source::Subject)
            prepared.bySubject.add(i, *pattern);
        else if (filed && (source == Source::Sender || source == Source::SenderText))
            prepared.bySender.add(i, *pattern);
        else
            prepared.always.push_back(i);
    }
    prepared.bySubject.finish();
    prepared.bySender.finish();
}

}  // namespace

const std::vector<Classification::SubjectRule>& Classification::subjectRules() {
    const RuleTable& table = rules_.gridSubject;
    if (subject_.revision != table.revision()) {
        subject_.rules.clear();
        for (int row = 1; row < table.rowCount() && !table.cell(1, row).empty(); ++row)
            subject_.rules.push_back(
                {preparePattern(table.cell(1, row), table.cell(2, row), table.cell(3, row) == kYes),
                 table.cell(4, row) == kYes});
        fileRules(subject_, [](const SubjectRule& rule) { return std::pair{Source::Subject, &rule.pattern}; });
        subject_.revision = table.revision();
    }
    return subject_.rules;
}

const std::vector<Classification::SenderRule>& Classification::senderRules() {
    const RuleTable& table = rules_.gridFrom;
    if (sender_.revision != table.revision()) {
        sender_.rules.clear();
        for (int row = 1; row < table.rowCount() && !table.cell(1, row).empty(); ++row) {
            SenderRule rule;
            const std::string& what = table.cell(1, row);
            rule.what = what == kWhatEmailAddress  ? SenderRule::What::Address
                        : what == kWhatDomainName ? SenderRule::What::Domain
                                                  : SenderRule::What::Other;
            rule.pattern = preparePattern(table.cell(2, row), table.cell(3, row), false);
            rule.del = table.cell(4, row) == kYes;
            sender_.rules.push_back(std::move(rule));
        }
        fileRules(sender_, [](const SenderRule& rule) { return std::pair{Source::Sender, &rule.pattern}; });
        sender_.revision = table.revision();
    }
    return sender_.rules;
}

const std::vector<Classification::HeaderRule>& Classification::headerRules() {
    const RuleTable& table = rules_.gridHeader;
    if (header_.revision != table.revision()) {
        header_.rules.clear();
        for (int row = 1; row < table.rowCount() && !table.cell(1, row).empty(); ++row) {
            HeaderRule rule;
            const std::string& kind = table.cell(1, row);
            const std::string& text = table.cell(2, row);
            rule.caseFlag = table.cell(3, row) == kYes;
            rule.del = table.cell(4, row) == kYes;
            if (kind == "To does not contain") {
                rule.form = HeaderRule::Form::Mailbox;
                const std::size_t marker = text.find(kMailboxMarker);
                if (marker != std::string::npos) {
                    rule.address = text.substr(0, marker);
                    // Only a mailbox number that reads whole applies the rule. A
                    // blank address is in every "To:", so the rule would delete
                    // every message: it never applies.
                    const auto number = decimal(std::string_view(text).substr(marker + kMailboxMarker.size()));
                    if (number && *number >= 1 && *number <= kMailboxes && !IsBlank(rule.address))
                        rule.mailbox = static_cast<int>(*number);
                }
            } else if (kind == "Sender") {
                rule.form = text == "does not match Reply-to" ? HeaderRule::Form::NotReplyTo : HeaderRule::Form::EqualsTo;
            } else {
                rule.pattern = preparePattern(kind, text, rule.caseFlag);
            }
            header_.rules.push_back(std::move(rule));
        }
        header_.revision = table.revision();
    }
    return header_.rules;
}

const std::vector<Classification::ExceptionRule>& Classification::exceptionRules() {
    const RuleTable& table = rules_.gridExcept;
    if (exception_.revision != table.revision()) {
        exception_.rules.clear();
        for (int row = 1; row < table.rowCount(); ++row) {
            ExceptionRule rule;
            const std::string& what = table.cell(0, row);
            if (what.empty())
                rule.kind = ExceptionRule::Kind::Skip;
            else if (what == kWhatDomainName)
                rule.kind = ExceptionRule::Kind::Domain;
            else if (what == kWhatEmailAddress)
                rule.kind = ExceptionRule::Kind::Address;
            else if (what == "Subject")
                rule.kind = ExceptionRule::Kind::Subject;
            else if (what == "Any Header")
                rule.kind = ExceptionRule::Kind::AnyHeader;
            else
                rule.kind = ExceptionRule::Kind::Field;
            rule.upperText = asciiUpper(table.cell(2, row));
            rule.pattern = preparePattern(table.cell(1, row), table.cell(2, row), table.cell(3, row) == kYes);
            rule.image = exceptionImageIndex(table, row);
            exception_.rules.push_back(std::move(rule));
        }
        fileRules(exception_, [](const ExceptionRule& rule) {
            switch (rule.kind) {
                case ExceptionRule::Kind::Skip: return std::pair{Source::Never, &rule.pattern};
                case ExceptionRule::Kind::Domain:
                case ExceptionRule::Kind::Address: return std::pair{Source::SenderText, &rule.pattern};
                case ExceptionRule::Kind::Subject: return std::pair{Source::Subject, &rule.pattern};
                default: return std::pair{Source::Always, &rule.pattern};
            }
        });
        exception_.revision = table.revision();
    }
    return exception_.rules;
}

std::uint64_t* Classification::preparedRevision(const RuleTable& table) {
    if (&table == &rules_.gridSubject) return &subject_.revision;
    if (&table == &rules_.gridFrom) return &sender_.revision;
    if (&table == &rules_.gridHeader) return &header_.revision;
    if (&table == &rules_.gridExcept) return &exception_.revision;
    return nullptr;
}

// ---- Single rules ----

bool Classification::subjectMatches(const SubjectRule& rule, int row, MessageView& view) const {
    if (reference_) {
        const RuleTable& t = rules_.gridSubject;
        return MatchSubjectRule(view.in.subject, t.cell(1, row), t.cell(2, row), t.cell(3, row) == kYes);
    }
    switch (rule.pattern.op) {
        case RuleOperator::IsBlank: return IsBlank(view.in.subject);
        case RuleOperator::IsUppercase: return IsUppercaseText(view.in.subject);
        default: return matchPattern(rule.pattern, view.in.subject, view.subjectUpper(), &view.subjectPairs());
    }
}

bool Classification::senderMatches(const SenderRule& rule, int row, MessageView& view) const {
    if (reference_) {
        const RuleTable& t = rules_.gridFrom;
        return MatchSenderRule(view.in.sender, t.cell(1, row), t.cell(2, row), t.cell(3, row));
    }
    if (rule.what == SenderRule::What::Other) return false;
    const MessageView::Sender& s = view.sender();
    const bool address = rule.what == SenderRule::What::Address;
    switch (rule.pattern.op) {
        case RuleOperator::IsBlank: return address ? s.blank : s.domainBlank;
        case RuleOperator::IsUppercase:
        case RuleOperator::AllNumeric:
        case RuleOperator::HalfNumeric:
        case RuleOperator::FirstCharNumeric:
            // They read the local part of an address.
            return view.characterTest(rule.pattern.op, address ? 0 : 1);
        default:
            return address ? matchPattern(rule.pattern, view.in.sender, s.upper, &s.pairs)
                           : matchPattern(rule.pattern, s.domain, s.domainUpper, &s.pairs);
    }
}

bool Classification::headerLineMatches(const HeaderRule& rule, int row, std::size_t line, MessageView& view) const {
    if (reference_) {
        const RuleTable& t = rules_.gridHeader;
        return MatchHeaderLine(view.headers[line], t.cell(1, row), t.cell(2, row), t.cell(3, row) == kYes);
    }
    return matchPattern(rule.pattern, view.headers[line], view.lineUpper(line), nullptr);
}

bool Classification::exceptionTextMatches(const ExceptionRule& rule, int row, std::string_view text,
                                          std::string_view upper, const PairSet* pairs) const {
    if (reference_) {
        const RuleTable& t = rules_.gridExcept;
        return MatchExceptionText(text, t.cell(1, row), t.cell(2, row), t.cell(3, row) == kYes);
    }
    return matchPattern(rule.pattern, text, upper, pairs);
}

// ---- The checks ----

std::optional<int> Classification::qIsInException(MessageView& view) {
    const RuleTable& table = rules_.gridExcept;
    const auto& rules = exceptionRules();
    for (const std::uint32_t i : candidates(exception_, view)) {
        const ExceptionRule& rule = rules[i];
        const int row = static_cast<int>(i) + 1;
        // Read only for a reason line.
        const auto pattern = [&] { return table.cell(2, row); };
        const auto caseFlag = [&] { return table.cell(3, row) == kYes; };
        bool matched = false;
        switch (rule.kind) {
            case ExceptionRule::Kind::Skip: break;
            case ExceptionRule::Kind::Domain:
            case ExceptionRule::Kind::Address: {
                if (!view.in.senderReadable) break;
                const bool domain = rule.kind == ExceptionRule::Kind::Domain;
                if (reference_)
                    matched = domain ? TextEndsWith(view.in.sender, pattern(), false)
                                     : TextStartsWith(view.in.sender, pattern(), false);
                else if (!mayOccurIn(rule.pattern, view.sender().pairs))
                    matched = false;
                else
                    matched = domain ? rule.upperText.size() <= kEndsWithLimit &&
                                           std::string_view(view.sender().upper).ends_with(rule.upperText)
                                     : std::string_view(view.sender().upper).starts_with(rule.upperText);
                if (matched && explain_)
                    host_.whyExcept(domain ? std::string(kWhatDomainName) : std::string(kWhatEmailAddress),
                                    std::string(kOpEquals), pattern(), false);
                break;
            }
            case ExceptionRule::Kind::Subject:
                if (!view.in.subjectReadable) break;
                matched = exceptionTextMatches(rule, row, view.in.subject, view.subjectUpper(), &view.subjectPairs());
                if (matched && explain_) host_.whyExcept("Subject", table.cell(1, row), pattern(), caseFlag());
                break;
            case ExceptionRule::Kind::AnyHeader:
                if (!reference_ && !mayOccurIn(rule.pattern, view.linePairs())) break;
                for (std::size_t line = 0; line < view.lineCount(); ++line) {
                    if (!exceptionTextMatches(rule, row, view.headers[line], view.lineUpper(line), nullptr))
                        continue;
                    matched = true;
                    if (!explain_) break;
                    host_.whyExcept("Any Header " + view.headers[line], table.cell(1, row), pattern(), caseFlag());
                }
                break;
            case ExceptionRule::Kind::Field: {
                const MessageView::Field& field = view.field(table.cell(0, row));
                if (!field.readable) break;
                matched = exceptionTextMatches(rule, row, field.value, field.upper, &field.pairs);
                if (matched && explain_)
                    host_.whyExcept(table.cell(0, row) + " " + field.value, table.cell(1, row), pattern(), caseFlag());
                break;
            }
        }
        if (matched) {
            const int image = rule.image;
            BumpUpGrid(rules_.gridExcept, row);
            return image;
        }
    }
    return std::nullopt;
}

std::optional<bool> Classification::tooBigSmall(std::string_view sizeText) {
    const auto size = decimal(sizeText);
    if (!size) return std::nullopt;
    const SpamOptions& o = rules_.options;
    const auto fire = [&](bool del, const char* op, int limit) {
        if (explain_) host_.whyAdd(del, "Size", op, std::to_string(limit), false);
        return del;
    };
    if (o.QSmaller && *size < o.smallerNum) return fire(o.smallerCheck, "smaller than", o.smallerNum);
    if (o.QLarger && *size > o.largerNum) return fire(o.largerCheck, "larger than", o.largerNum);
    return std::nullopt;
}

Classification::ScanResult Classification::qMarkThisSubject(MessageView& view) {
    ScanResult result;
    const RuleTable& table = rules_.gridSubject;
    const auto& rules = subjectRules();
    for (const std::uint32_t i : candidates(subject_, view)) {
        const int row = static_cast<int>(i) + 1;
        const SubjectRule& rule = rules[i];
        if (!subjectMatches(rule, row, view)) continue;
        const bool del = rule.del;
        if (explain_) {
            const bool noPattern = rule.pattern.op == RuleOperator::IsBlank || rule.pattern.op == RuleOperator::IsUppercase;
            host_.whyAdd(del, "Subject", table.cell(1, row), noPattern ? std::string() : table.cell(2, row),
                         table.cell(3, row) == kYes);
        }
        BumpUpGrid(rules_.gridSubject, row);
        result.add(del);
        if (!explain_ && del) break;
    }
    return result;
}

Classification::ScanResult Classification::qmarkThisSender(MessageView& view) {
    ScanResult result;
    const RuleTable& table = rules_.gridFrom;
    const auto& rules = senderRules();
    for (const std::uint32_t i : candidates(sender_, view)) {
        const int row = static_cast<int>(i) + 1;
        const SenderRule& rule = rules[i];
        if (!senderMatches(rule, row, view)) continue;
        const bool del = rule.del;
        if (explain_)
            host_.whyAdd(del, table.cell(1, row), table.cell(2, row),
                         hasNoPattern(rule.pattern.op) ? std::string() : table.cell(3, row), false);
        BumpUpGrid(rules_.gridFrom, row);
        result.add(del);
        if (!explain_ && del) break;
    }
    return result;
}

Classification::ScanResult Classification::qMarkThisHeader(MessageView& view) {
    ScanResult result;
    const RuleTable& table = rules_.gridHeader;
    const auto& rules = headerRules();
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        const HeaderRule& rule = rules[i];
        const bool del = rule.del;
        const bool caseFlag = rule.caseFlag;
        const auto fired = [&](const std::string& what, const std::string& op, const std::string& pattern) {
            if (explain_) host_.whyAdd(del, what, op, pattern, caseFlag);
            BumpUpGrid(rules_.gridHeader, row);
            result.add(del);
            return !explain_ && del;  // true ends the scan
        };
        switch (rule.form) {
            case HeaderRule::Form::Text:
                if (!isPatternOperator(rule.pattern.op)) break;
                if (!reference_ && !mayOccurIn(rule.pattern, view.linePairs())) break;
                for (std::size_t line = 0; line < view.lineCount(); ++line)
                    if (headerLineMatches(rule, row, line, view) && fired("Header", table.cell(1, row), table.cell(2, row)))
                        return result;
                break;
            case HeaderRule::Form::Mailbox: {
                if (rule.mailbox == 0 || rule.mailbox != view.mailbox(host_)) break;
                const MessageView::Field& to = view.field("To:");
                if (!to.readable || to.value.empty() || TextContains(to.value, rule.address, false)) break;
                if (fired("Header \"" + to.value + "\"", "To does not contain", rule.address)) return result;
                break;
            }
            case HeaderRule::Form::NotReplyTo: {
                const MessageView::Field& reply = view.field("Reply-to:");
                const auto from = view.addressField("From:");
                if (!reply.readable || !from || reply.value.empty()) break;
                if (TextContains(reply.value, *from, false) || TextContains(*from, reply.value, false)) break;
                if (fired("Header", "Sender", reply.value + " does not match Reply-to " + *from)) return result;
                break;
            }
            case HeaderRule::Form::EqualsTo: {
                const auto to = view.addressField("To:");
                const auto from = view.addressField("From:");
                if (!to || !from || to->empty()) break;
                if (!TextContains(*to, *from, false) && !TextContains(*from, *to, false)) break;
                if (fired("Header", "Sender", *to + " equals To field " + *from)) return result;
                break;
            }
        }
    }
    return result;
}

Classification::ScanResult Classification::CheckDomain(MessageView& view) {
    ScanResult result;
    const bool del = rules_.options.Question;
    const bool explain = explain_;  // a judgement may run during the DNS wait
    const auto reply = view.addressField("Reply-to:");
    const auto from = view.addressField("From:");
    if (!reply || !from) return result;
    const auto domain = domains_->CheckDomain(*reply, *from);
    if (!domain) return result;
    if (explain) {
        const UnknownDomainReason reason = unknownDomainReason(*domain);
        host_.whyAdd(del, reason.what, reason.op, reason.pattern, reason.caseSensitive);
    }
    result.add(del);
    return result;
}

std::optional<KnownListHit> Classification::isInKnownList(std::string_view sender) const {
    if (known_.FindInKnownList(sender) >= 0) return KnownListHit{"E-mail", std::string(sender)};
    if (sender.find('@') == std::string_view::npos) return std::nullopt;
    std::string domain = domainPart(sender);
    if (known_.FindInKnownList(domain) >= 0) return KnownListHit{"Domain", std::move(domain)};
    return std::nullopt;
}

int Classification::judge(const MessageToJudge& message, int mark) {
    MessageView view(message);
    explain_ = host_.explaining();

    if (const auto image = qIsInException(view)) return *image;

    if (const auto del = tooBigSmall(message.size)) mark = *del ? kDeleteMark : kQuestionMark;
    const auto apply = [&](const ScanResult& result) {
        if (!result.matched) return;
        if (result.del)
            mark = kDeleteMark;
        else if (mark != kDeleteMark)
            mark = kQuestionMark;
    };
    const auto done = [&] { return !explain_ && mark == kDeleteMark; };
    if (done()) return mark;
    if (message.subjectReadable) apply(qMarkThisSubject(view));
    if (done()) return mark;
    if (message.senderReadable) apply(qmarkThisSender(view));
    if (done()) return mark;
    apply(qMarkThisHeader(view));
    if (done()) return mark;
    if (rules_.options.Valid && domains_) {
        // The DNS wait runs the event loop, and a handler may judge meanwhile.
        const bool explaining = explain_;
        apply(CheckDomain(view));
        explain_ = explaining;
    }
    if (done()) return mark;
    if (rules_.options.QMonitor && message.senderReadable) {
        if (const auto hit = isInKnownList(message.sender)) {
            if (mark != kDeleteMark) mark = kKnownSpammerMark;
            if (explain_)
                host_.whyAdd(true, hit->kind,
                             "\"" + hit->entry + "\" is on the KNOWN SPAMMER BLACKLIST (you may edit if this is in error)",
                             "", false);
        }
    }
    if (done()) return mark;
    if (learned_ && learning_.enabled && message.headers) mark = judgeByLearning(message, mark);
    return mark;
}

int Classification::judgeByLearning(const MessageToJudge& message, int mark) {
    // Only a row the rules left unmarked or questioned gains a mark here.
    if (mark != kNoMark && mark != kQuestionMark && !explain_) return mark;
    if (!learned_->trained()) return mark;
    const auto size = decimal(message.size);
    const auto tokens = learningTokens(*message.headers, size && *size > 0 ? static_cast<std::uint64_t>(*size) : 0);
    const LearnedJudgement judgement = judgeLearned(*learned_, tokens, learning_.cutoffs);
    if (judgement.verdict != LearnedVerdict::Spam && judgement.verdict != LearnedVerdict::Unsure) return mark;
    const bool del = learning_.deleteLearnedSpam && judgement.verdict == LearnedVerdict::Spam;
    if (explain_) host_.whyAdd(del, "Learned:", judgement.detail(), "", false);
    if (mark == kNoMark || mark == kQuestionMark) mark = del ? kDeleteMark : kQuestionMark;
    return mark;
}

void Classification::BumpUpGrid(RuleTable& table, int row) {
    if (explain_ || !countingHits_) return;
    const int column = hitsColumn(table.kind());
    const auto hits = decimal(table.cell(column, row));
    const long long value = hits.value_or(0);
    std::uint64_t* prepared = preparedRevision(table);
    const bool current = prepared && *prepared == table.revision();
    table.setCell(column, row, std::to_string(value < LLONG_MAX ? value + 1 : value));
    // A hit counter is not part of the prepared rules.
    if (current) *prepared = table.revision();
}

void Classification::AddSenderException(const std::string& address) {
    RuleTable& table = rules_.gridExcept;
    int row = table.rowCount();
    if (table.ruleCount() == 1 && table.cell(1, 1).empty())
        row = 1;
    else
        table.setRowCount(row + 1);
    const char* cells[] = {"E-mail address", "Equals", address.c_str(), "No", "0"};
    for (int col = 0; col < 5; ++col) table.setCell(col, row, cells[col]);
    table.setCell(6, row, "3");
    table.setImage(row, kFirstExceptionImage);
}

}  // namespace quorvel
