#include "classify/classification.h"

#include <charconv>
#include <deque>
#include <climits>

#include "classify/operators.h"
#include "mail/headers.h"

namespace quorvel {

namespace {

constexpr std::size_t kEndsWithLimit = 255;  // "Ends with" never matches a longer pattern
constexpr const char* kYes = "Yes";
constexpr std::string_view kMailboxMarker = " - MailBox #";
constexpr int kMailboxes = 12;

// The marks the pipeline sets besides the exception pictures.
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

bool isPatternOperator(RuleOperator op) { return op <= RuleOperator::EndsWith; }

// The five character operators show no pattern in a reason line.
bool hasNoPattern(RuleOperator op) { return op >= RuleOperator::IsBlank && op <= RuleOperator::FirstCharNumeric; }

std::string addressOf(const std::string& fieldValue) {
    std::string address, name;
    SplitAddress(fieldValue, address, name);
    return address;
}

}  // namespace

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
        if (!subjectPairs_) subjectPairs_.emplace().add(subjectUpper());
        return *subjectPairs_;
    }

    struct Sender {
        std::string upper, domain, domainUpper, local;
        bool blank = false, domainBlank = false;
        // The character operators, on the local part and on the domain.
        bool uppercase[2], allNumeric[2], halfNumeric[2], firstNumeric[2];
    };
    const Sender& sender() {
        if (!sender_) {
            Sender s;
            s.upper = asciiUpper(in.sender);
            s.domain = domainPart(in.sender);
            s.domainUpper = asciiUpper(s.domain);
            s.local = localPart(in.sender);
            s.blank = IsBlank(in.sender);
            s.domainBlank = IsBlank(s.domain);
            const std::string* parts[2] = {&s.local, &s.domain};
            for (int i = 0; i < 2; ++i) {
                s.uppercase[i] = IsUppercaseText(*parts[i]);
                s.allNumeric[i] = IsAllNumeric(*parts[i]);
                s.halfNumeric[i] = IsHalfNumeric(*parts[i]);
                s.firstNumeric[i] = IsFirstCharNumeric(*parts[i]);
            }
            sender_ = std::move(s);
        }
        return *sender_;
    }

    // The header lines the text rules look at: all but the last stored one.
    std::size_t lineCount() const { return headers.empty() ? 0 : headers.size() - 1; }
    std::string_view lineUpper(std::size_t i) {
        prepareLines();
        return std::string_view(linesUpper_).substr(lineStarts_[i], lineStarts_[i + 1] - lineStarts_[i]);
    }
    const PairSet& linePairs() {
        prepareLines();
        if (!linePairs_) linePairs_.emplace().add(linesUpper_);
        return *linePairs_;
    }

    struct Field {
        std::string name;
        bool readable = false;
        std::string value, upper;
    };
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
        for (std::size_t i = 0; i < lineCount(); ++i) {
            lineStarts_.push_back(linesUpper_.size());
            linesUpper_ += headers[i];
        }
        lineStarts_.push_back(linesUpper_.size());
        for (char& c : linesUpper_) c = asciiUpper(c);
        linesReady_ = true;
    }

    std::optional<std::string> subjectUpper_;
    std::optional<PairSet> subjectPairs_;
    std::optional<Sender> sender_;
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

void PairSet::add(std::string_view upper) {
    for (std::size_t i = 0; i + 1 < upper.size(); ++i) {
        const std::uint16_t pair = pairAt(upper, i);
        bits_[pair >> 6] |= std::uint64_t{1} << (pair & 63);
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
        prepared.filtered = true;
        prepared.firstPair = pairAt(upper, 0);
        prepared.lastPair = pairAt(upper, upper.size() - 2);
    }
    return prepared;
}

bool matchPattern(const PreparedPattern& pattern, std::string_view text, std::string_view upper,
                  const PairSet* pairs) {
    const std::string_view compared = pattern.caseSensitive ? text : upper;
    const std::string_view p = pattern.text;
    const auto mayOccur = [&] {
        return !pattern.filtered || !pairs || (pairs->has(pattern.firstPair) && pairs->has(pattern.lastPair));
    };
    switch (pattern.op) {
        case RuleOperator::Contains:
            return !p.empty() && mayOccur() && compared.find(p) != std::string_view::npos;
        case RuleOperator::ContainsWholeWord:
            if (IsBlank(text) || IsBlank(p) || !mayOccur() || compared.find(p) == std::string_view::npos) return false;
            return WholeWordCheck(compared, p, true);
        case RuleOperator::Equals: return compared == p;
        case RuleOperator::StartsWith: return compared.starts_with(p);
        case RuleOperator::EndsWith: return p.size() <= kEndsWithLimit && compared.ends_with(p);
        default: return false;
    }
}

Classification::Classification(SpamRules& rules, const KnownList& known, ClassificationHost& host)
    : rules_(rules), known_(known), host_(host) {}

// ---- Prepared rules, rebuilt only when a table's revision moved ----

const std::vector<Classification::SubjectRule>& Classification::subjectRules() {
    const RuleTable& table = rules_.gridSubject;
    if (subject_.revision != table.revision()) {
        subject_.rules.clear();
        for (int row = 1; row < table.rowCount() && !table.cell(1, row).empty(); ++row)
            subject_.rules.push_back(
                {preparePattern(table.cell(1, row), table.cell(2, row), table.cell(3, row) == kYes),
                 table.cell(4, row) == kYes});
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
                    // Only a mailbox number that reads whole applies the rule.
                    const auto number = decimal(std::string_view(text).substr(marker + kMailboxMarker.size()));
                    if (number && *number >= 1 && *number <= kMailboxes) rule.mailbox = static_cast<int>(*number);
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
    const std::size_t part = address ? 0 : 1;  // the character operators read the local part of an address
    switch (rule.pattern.op) {
        case RuleOperator::IsBlank: return address ? s.blank : s.domainBlank;
        case RuleOperator::IsUppercase: return s.uppercase[part];
        case RuleOperator::AllNumeric: return s.allNumeric[part];
        case RuleOperator::HalfNumeric: return s.halfNumeric[part];
        case RuleOperator::FirstCharNumeric: return s.firstNumeric[part];
        default:
            return address ? matchPattern(rule.pattern, view.in.sender, s.upper, nullptr)
                           : matchPattern(rule.pattern, s.domain, s.domainUpper, nullptr);
    }
}

bool Classification::headerLineMatches(const HeaderRule& rule, int row, std::size_t line, MessageView& view) const {
    if (reference_) {
        const RuleTable& t = rules_.gridHeader;
        return MatchHeaderLine(view.headers[line], t.cell(1, row), t.cell(2, row), t.cell(3, row) == kYes);
    }
    return matchPattern(rule.pattern, view.headers[line], view.lineUpper(line), &view.linePairs());
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
    for (std::size_t i = 0; i < rules.size(); ++i) {
        const ExceptionRule& rule = rules[i];
        const int row = static_cast<int>(i) + 1;
        const std::string& pattern = table.cell(2, row);
        const bool caseFlag = table.cell(3, row) == kYes;
        bool matched = false;
        switch (rule.kind) {
            case ExceptionRule::Kind::Skip: break;
            case ExceptionRule::Kind::Domain:
            case ExceptionRule::Kind::Address: {
                if (!view.in.senderReadable) break;
                const bool domain = rule.kind == ExceptionRule::Kind::Domain;
                if (reference_)
                    matched = domain ? TextEndsWith(view.in.sender, pattern, false)
                                     : TextStartsWith(view.in.sender, pattern, false);
                else
                    matched = domain ? rule.upperText.size() <= kEndsWithLimit &&
                                           std::string_view(view.sender().upper).ends_with(rule.upperText)
                                     : std::string_view(view.sender().upper).starts_with(rule.upperText);
                if (matched && explain_)
                    host_.whyExcept(domain ? std::string(kWhatDomainName) : std::string(kWhatEmailAddress),
                                    std::string(kOpEquals), pattern, false);
                break;
            }
            case ExceptionRule::Kind::Subject:
                if (!view.in.subjectReadable) break;
                matched = exceptionTextMatches(rule, row, view.in.subject, view.subjectUpper(), &view.subjectPairs());
                if (matched && explain_) host_.whyExcept("Subject", table.cell(1, row), pattern, caseFlag);
                break;
            case ExceptionRule::Kind::AnyHeader:
                for (std::size_t line = 0; line < view.lineCount(); ++line) {
                    if (!exceptionTextMatches(rule, row, view.headers[line], view.lineUpper(line), &view.linePairs()))
                        continue;
                    matched = true;
                    if (!explain_) break;
                    host_.whyExcept("Any Header " + view.headers[line], table.cell(1, row), pattern, caseFlag);
                }
                break;
            case ExceptionRule::Kind::Field: {
                const MessageView::Field& field = view.field(table.cell(0, row));
                if (!field.readable) break;
                matched = exceptionTextMatches(rule, row, field.value, field.upper, nullptr);
                if (matched && explain_)
                    host_.whyExcept(table.cell(0, row) + " " + field.value, table.cell(1, row), pattern, caseFlag);
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
    for (std::size_t i = 0; i < rules.size(); ++i) {
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
    for (std::size_t i = 0; i < rules.size(); ++i) {
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
    return mark;
}

void Classification::BumpUpGrid(RuleTable& table, int row) {
    if (explain_) return;
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
