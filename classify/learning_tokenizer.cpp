#include "classify/learning_tokenizer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "mail/headers.h"

namespace quorvel {
namespace {

// Work per message is bounded whatever the header holds: the text read, the
// fields looked at, a field's value and the Received hops.
constexpr std::size_t kMaxHeaderInput = 256 * 1024;
constexpr std::size_t kMaxFields = 1000;
constexpr std::size_t kMaxFieldNameOctets = 40;
constexpr std::size_t kMaxValueOctets = 2048;
constexpr std::size_t kMaxHops = 12;
constexpr std::size_t kMaxSubjectWords = 30;
constexpr std::size_t kMaxNameWords = 6;

struct Field {
    std::string name;  // lower case
    std::string value;  // unfolded, runs of blanks as one space, trimmed
};

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerAscii(c);
    return out;
}
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isWordByte(char c) { return isDigit(c) || isAlpha(c) || static_cast<unsigned char>(c) >= 0x80; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// Appends `more` to a value, blanks folded to one space, up to the bound.
void appendValue(std::string& value, std::string_view more) {
    for (const char c : more) {
        if (value.size() >= kMaxValueOctets) return;
        if (isSpace(c)) {
            if (!value.empty() && value.back() != ' ') value += ' ';
        } else {
            value += c;
        }
    }
}

std::vector<Field> readFields(std::string_view text, std::size_t& junkLines) {
    std::vector<Field> fields;
    text = text.substr(0, std::min(text.size(), kMaxHeaderInput));
    std::size_t pos = 0;
    bool inField = false;  // a continuation line belongs to the last field read
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;  // the body starts
        if (line.front() == ' ' || line.front() == '\t') {
            if (inField) {
                appendValue(fields.back().value, " ");
                appendValue(fields.back().value, line);
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        std::string_view name = colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
        const bool valid = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
            return c > 32 && c < 127 && c != ':';
        });
        if (!valid) {
            ++junkLines;  // a "From " envelope line, or damage
            inField = false;
            continue;
        }
        if (fields.size() >= kMaxFields) {
            inField = false;
            continue;
        }
        Field field;
        field.name = lower(name.substr(0, std::min(name.size(), kMaxFieldNameOctets)));
        appendValue(field.value, line.substr(colon + 1));
        fields.push_back(std::move(field));
        inField = true;
    }
    for (auto& field : fields) field.value = std::string(trim(field.value));
    return fields;
}

const Field* findField(const std::vector<Field>& fields, std::string_view name) {
    for (const auto& field : fields)
        if (field.name == name) return &field;
    return nullptr;
}

// The bare address of a From-like value, lower case: inside <> when there
// are some, otherwise the word with an at sign.
std::string addressOf(std::string_view value) {
    const std::size_t open = value.rfind('<');
    if (open != std::string_view::npos) {
        const std::size_t close = value.find('>', open);
        return lower(trim(value.substr(open + 1, close == std::string_view::npos ? std::string_view::npos
                                                                                  : close - open - 1)));
    }
    std::size_t at = value.find('@');
    if (at == std::string_view::npos) return lower(trim(value)).substr(0, 0);
    std::size_t start = at, end = at;
    while (start > 0 && !isSpace(value[start - 1]) && value[start - 1] != '(' && value[start - 1] != '"') --start;
    while (end < value.size() && !isSpace(value[end]) && value[end] != ')' && value[end] != ',') ++end;
    return lower(value.substr(start, end - start));
}

std::string domainOf(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) return {};
    std::string domain(address.substr(at + 1));
    while (!domain.empty() && (domain.back() == '.' || domain.back() == '>')) domain.pop_back();
    return lower(domain);
}

// The display name of a From-like value: before "<", or inside "( )".
std::string displayName(std::string_view value) {
    const std::size_t open = value.rfind('<');
    std::string_view name;
    if (open != std::string_view::npos) {
        name = value.substr(0, open);
    } else {
        const std::size_t paren = value.find('(');
        const std::size_t close = value.rfind(')');
        if (paren != std::string_view::npos && close != std::string_view::npos && close > paren)
            name = value.substr(paren + 1, close - paren - 1);
    }
    name = trim(name);
    while (!name.empty() && (name.front() == '"' || name.front() == '\'')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == '"' || name.back() == '\'')) name.remove_suffix(1);
    return std::string(trim(name));
}

std::string decodeWords(const std::string& text) {
    try {
        return DecodeEncodedWords(text.substr(0, std::min<std::size_t>(text.size(), kMaxHeaderText)));
    } catch (const std::exception&) {
        return text;
    }
}

// The character classes of a text, runs of one class written once: "<20020801.1234@mail>"
// and "<20030105.9876@mx>" both read "<9.9@a>".
std::string shape(std::string_view text, std::size_t limit = 24) {
    std::string out;
    char last = 0;
    for (const char c : text) {
        char k = isDigit(c) ? '9' : (c >= 'a' && c <= 'z') ? 'a' : (c >= 'A' && c <= 'Z') ? 'A'
                                 : static_cast<unsigned char>(c) >= 0x80 ? 'x' : c;
        if (k == last && (k == '9' || k == 'a' || k == 'A' || k == 'x')) continue;
        out += k;
        last = k;
        if (out.size() >= limit) break;
    }
    return out;
}

std::string bucket(std::uint64_t n) {
    if (n <= 3) return std::to_string(n);
    if (n <= 5) return "4-5";
    if (n <= 10) return "6-10";
    if (n <= 20) return "11-20";
    return "21+";
}

// Counts the addresses of a To or Cc value by its at signs.
std::size_t addressCount(std::string_view value) { return static_cast<std::size_t>(std::count(value.begin(), value.end(), '@')); }

bool parseIpv4(std::string_view text, std::size_t& pos, unsigned (&octets)[4]) {
    std::size_t p = pos;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p >= text.size() || text[p] != '.') return false;
            ++p;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        while (p < text.size() && isDigit(text[p]) && digits < 4) {
            value = value * 10 + static_cast<unsigned>(text[p] - '0');
            ++p;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return false;
        octets[i] = value;
    }
    if (p < text.size() && (isDigit(text[p]) || text[p] == '.')) return false;
    pos = p;
    return true;
}

// The word after `keyword` (" from ", " by ", " with ", "helo="), lower case.
std::string wordAfter(std::string_view text, std::string_view keyword) {
    const std::string low = lower(text);
    const std::size_t at = low.find(keyword);
    if (at == std::string::npos) return {};
    std::size_t start = at + keyword.size();
    while (start < low.size() && isSpace(low[start])) ++start;
    std::size_t end = start;
    while (end < low.size() && !isSpace(low[end]) && low[end] != '(' && low[end] != ')' && low[end] != ';' &&
           low[end] != '[' && low[end] != ']')
        ++end;
    return low.substr(start, end - start);
}

// The last two labels of a host name ("mail.example.com" -> "example.com"),
// or "" for an address or a name of one label.
std::string baseDomain(std::string_view host) {
    if (host.empty() || isDigit(host.back())) return {};
    const std::size_t last = host.rfind('.');
    if (last == std::string_view::npos || last == 0) return {};
    const std::size_t before = host.rfind('.', last - 1);
    return std::string(before == std::string_view::npos ? host : host.substr(before + 1));
}

// Minutes east of UTC of a zone such as "+0100" or "-0800 (PST)"; nothing for names.
bool zoneMinutes(std::string_view zone, int& minutes) {
    zone = trim(zone);
    if (zone.size() < 5 || (zone[0] != '+' && zone[0] != '-')) {
        const std::string word = lower(zone.substr(0, zone.find(' ')));
        if (word == "gmt" || word == "ut" || word == "utc" || word == "z") {
            minutes = 0;
            return true;
        }
        return false;
    }
    for (int i = 1; i < 5; ++i)
        if (!isDigit(zone[static_cast<std::size_t>(i)])) return false;
    const int hh = (zone[1] - '0') * 10 + (zone[2] - '0');
    const int mm = (zone[3] - '0') * 10 + (zone[4] - '0');
    minutes = (hh * 60 + mm) * (zone[0] == '-' ? -1 : 1);
    return true;
}

// A date and time as minutes since the epoch in UTC; false when unreadable.
bool utcMinutes(const std::string& text, double& minutes, std::string& zone) {
    TDateTime when = 0;
    ParseDate(text, when, zone);
    int offset = 0;
    if (when == 0 || !zoneMinutes(zone, offset)) return false;
    minutes = when * 24 * 60 - offset;
    return true;
}

class Tokens {
public:
    explicit Tokens(std::vector<std::string>& out) : out_(out) {}
    bool full() const { return out_.size() >= kMaxLearningTokens; }
    void add(std::string_view prefix, std::string_view value) {
        if (full()) return;
        std::string token;
        token.reserve(std::min(prefix.size() + 1 + value.size(), kMaxTokenOctets));
        token += prefix;
        token += ':';
        token += value.substr(0, std::min(value.size(), kMaxTokenOctets));
        if (token.size() > kMaxTokenOctets) {
            std::size_t cut = kMaxTokenOctets;
            // Not inside a UTF-8 sequence, unless the whole tail is continuation bytes.
            std::size_t back = cut;
            while (back > prefix.size() + 1 && (static_cast<unsigned char>(token[back]) & 0xC0) == 0x80) --back;
            if (back > prefix.size() + 1) cut = back;
            token.resize(cut);
        }
        // Each token once: an open-addressed table of positions in `out_`,
        // sized well beyond the bound of tokens so probes stay short.
        std::size_t slot = std::hash<std::string_view>{}(token) & (kSlots - 1);
        while (slots_[slot] != 0) {
            if (out_[slots_[slot] - 1u] == token) return;
            slot = (slot + 1) & (kSlots - 1);
        }
        out_.push_back(std::move(token));
        slots_[slot] = static_cast<std::uint16_t>(out_.size());
    }

private:
    static constexpr std::size_t kSlots = 1024;
    static_assert(kSlots >= 2 * kMaxLearningTokens && kMaxLearningTokens < 65535);
    std::vector<std::string>& out_;
    std::array<std::uint16_t, kSlots> slots_{};
};

// Words of a text, lower case: each as written between blanks, and again
// without punctuation when that differs ("free!!!" gives "free!!!" and "free").
void words(Tokens& tokens, std::string_view prefix, std::string_view text, std::size_t maxWords) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size() && count < maxWords && !tokens.full()) {
        while (pos < text.size() && isSpace(text[pos])) ++pos;
        std::size_t end = pos;
        while (end < text.size() && !isSpace(text[end])) ++end;
        if (end == pos) break;
        const std::string word = lower(text.substr(pos, end - pos));
        pos = end;
        ++count;
        // Bare words, split at punctuation inside too: "v1agra.com" is "v1agra" and "com".
        std::size_t w = 0;
        std::vector<std::string_view> bare;
        while (w < word.size()) {
            while (w < word.size() && !isWordByte(word[w])) ++w;
            std::size_t e = w;
            while (e < word.size() && isWordByte(word[e])) ++e;
            if (e > w) bare.push_back(std::string_view(word).substr(w, e - w));
            w = e;
        }
        const bool plain = bare.size() == 1 && bare[0].size() == word.size();
        if (!plain && word.size() >= 2) tokens.add(prefix, word);
        for (const auto b : bare) {
            // Numbers count by their length only: "order 12345" and "order 67890" are alike.
            if (std::all_of(b.begin(), b.end(), isDigit))
                tokens.add(prefix, std::string(std::min<std::size_t>(b.size(), 10), '9'));
            else if (b.size() >= 2)
                tokens.add(prefix, b);
        }
    }
}

// Words of a field value for the generic tokens: runs of letters, digits,
// dots, dashes and underscores; numbers by their length; at most a few per field.
void genericWords(Tokens& tokens, std::string_view name, std::string_view value) {
    constexpr std::size_t kMaxWords = 20;
    const std::string prefix = "~" + std::string(name.substr(0, 24));
    std::size_t count = 0, pos = 0;
    const auto inWord = [](char c) { return isWordByte(c) || c == '.' || c == '-' || c == '_'; };
    while (pos < value.size() && count < kMaxWords && !tokens.full()) {
        while (pos < value.size() && !inWord(value[pos])) ++pos;
        std::size_t end = pos;
        while (end < value.size() && inWord(value[end])) ++end;
        std::string_view word = value.substr(pos, end - pos);
        pos = end;
        while (!word.empty() && (word.back() == '.' || word.back() == '-' || word.back() == '_')) word.remove_suffix(1);
        while (!word.empty() && (word.front() == '.' || word.front() == '-' || word.front() == '_')) word.remove_prefix(1);
        if (word.size() < 2 && !(word.size() == 1 && isDigit(word[0]))) continue;
        ++count;
        if (std::all_of(word.begin(), word.end(), isDigit))
            tokens.add(prefix, std::string(std::min<std::size_t>(word.size(), 10), '9'));
        else
            tokens.add(prefix, lower(word));
    }
}

void domainAndParents(Tokens& tokens, std::string_view prefix, std::string_view domain) {
    std::size_t pos = 0;
    for (int level = 0; level < 5 && !tokens.full(); ++level) {
        const std::string_view rest = domain.substr(pos);
        if (rest.find('.') == std::string_view::npos) break;  // a top-level domain alone says little
        tokens.add(prefix, rest);
        pos = domain.find('.', pos);
        if (pos == std::string_view::npos) break;
        ++pos;
    }
}

// How a related address compares with From.
std::string_view relation(const std::string& address, const std::string& from) {
    if (address.empty()) return "empty";
    if (address == from) return "same";
    if (!from.empty() && domainOf(address) == domainOf(from)) return "same domain";
    const std::string a = baseDomain(domainOf(address)), f = baseDomain(domainOf(from));
    if (!a.empty() && a == f) return "related domain";
    return "other";
}

void subjectTokens(Tokens& tokens, const Field* subject) {
    if (!subject) {
        tokens.add("s", "(none)");
        return;
    }
    const std::string decoded = decodeWords(subject->value);
    if (trim(decoded).empty()) tokens.add("s", "(empty)");
    std::size_t letters = 0, upper = 0;
    for (const char c : decoded) {
        if (isAlpha(c)) ++letters;
        if (c >= 'A' && c <= 'Z') ++upper;
    }
    if (letters >= 6 && upper * 10 >= letters * 9) tokens.add("s.", "capitals");
    if (subject->value.find("=?") != std::string::npos) {
        const std::string charset = lower(wordAfter(subject->value, "=?").substr(0, 20));
        tokens.add("s.", "encoded " + charset.substr(0, charset.find('?')));
    }
    words(tokens, "s", decoded, kMaxSubjectWords);
}

void addressTokens(Tokens& tokens, const std::vector<Field>& fields) {
    const Field* from = findField(fields, "from");
    std::string fromAddress;
    if (!from) {
        tokens.add("fa", "(none)");
    } else {
        fromAddress = addressOf(from->value);
        const std::string name = decodeWords(displayName(from->value));
        if (name.empty()) tokens.add("fn", "(none)");
        else if (lower(name).find(fromAddress) != std::string::npos && !fromAddress.empty()) tokens.add("fn", "(the address)");
        words(tokens, "fn", name, kMaxNameWords);
        if (fromAddress.empty()) tokens.add("fa", "(none)");
        else tokens.add("fa", fromAddress);
        const std::size_t at = fromAddress.find('@');
        if (at != std::string::npos) tokens.add("fl", shape(fromAddress.substr(0, at), 12));
        domainAndParents(tokens, "fd", domainOf(fromAddress));
    }
    const Field* replyTo = findField(fields, "reply-to");
    if (replyTo) {
        const std::string address = addressOf(replyTo->value);
        tokens.add("rt", relation(address, fromAddress));
        const std::string domain = baseDomain(domainOf(address));
        if (!domain.empty()) tokens.add("rtd", domain);
    }
    const Field* returnPath = findField(fields, "return-path");
    if (returnPath) {
        const std::string address = addressOf(returnPath->value);
        tokens.add("rp", relation(address, fromAddress));
        const std::string domain = baseDomain(domainOf(address));
        if (!domain.empty()) tokens.add("rpd", domain);
    }
    const Field* to = findField(fields, "to");
    tokens.add("to", to ? bucket(addressCount(to->value)) : "(none)");
    if (to) {
        const std::string toAddress = addressOf(to->value);
        if (!toAddress.empty() && toAddress == fromAddress) tokens.add("to", "(from)");
        if (lower(to->value).find("undisclosed") != std::string::npos) tokens.add("to", "(undisclosed)");
        const std::string domain = baseDomain(domainOf(toAddress));
        if (!domain.empty()) tokens.add("tod", domain);
    }
    const Field* cc = findField(fields, "cc");
    if (cc) tokens.add("cc", bucket(addressCount(cc->value)));
}

void receivedTokens(Tokens& tokens, const std::vector<Field>& fields, double& firstReceived) {
    std::size_t hops = 0;
    firstReceived = 0;
    for (const auto& field : fields) {
        if (field.name != "received") continue;
        ++hops;
        if (hops > kMaxHops) continue;
        const std::string_view value = field.value;
        const std::size_t semicolon = value.rfind(';');
        const std::string_view route = value.substr(0, semicolon);
        if (hops == 1 && semicolon != std::string_view::npos) {
            std::string zone;
            double minutes = 0;
            if (utcMinutes(std::string(trim(value.substr(semicolon + 1))), minutes, zone)) firstReceived = minutes;
        }
        const std::string helo = wordAfter(route, "from ");
        if (!helo.empty()) {
            if (helo.front() == '[' || isDigit(helo.back()))
                tokens.add("rhelo", "(address)");
            else if (helo.find('.') == std::string::npos)
                tokens.add("rhelo", "(one label)");
            else
                tokens.add("rhelo", helo);
        }
        const std::string by = wordAfter(route, "by ");
        if (!by.empty()) tokens.add("rby", by);
        const std::string with = wordAfter(route, " with ");
        if (!with.empty()) tokens.add("rwith", with);
        // Host names in the parenthesis of the sending host, as looked up.
        const std::size_t open = route.find('(');
        if (open != std::string_view::npos) {
            const std::string host = wordAfter(route.substr(open), "(");
            const std::string base = baseDomain(host);
            if (!base.empty()) {
                tokens.add("rhost", host);
                tokens.add("rdom", base);
            }
        }
        // Every IPv4 address written in the route, by its /24 and /16.
        for (std::size_t pos = 0; pos < route.size() && !tokens.full(); ++pos) {
            if (!isDigit(route[pos]) || (pos > 0 && (isDigit(route[pos - 1]) || route[pos - 1] == '.'))) continue;
            unsigned octets[4];
            std::size_t end = pos;
            if (!parseIpv4(route, end, octets)) continue;
            const std::string a = std::to_string(octets[0]) + '.' + std::to_string(octets[1]) + '.';
            tokens.add("rip", a + std::to_string(octets[2]) + ".0/24");
            tokens.add("rip", a + "0.0/16");
            pos = end;
        }
    }
    tokens.add("rh", bucket(hops));
}

void dateTokens(Tokens& tokens, const Field* date, double firstReceived) {
    if (!date) {
        tokens.add("d", "(none)");
        return;
    }
    std::string zone;
    double minutes = 0;
    const bool read = utcMinutes(date->value, minutes, zone);
    const std::string_view value = date->value;
    if (!read) {
        TDateTime when = 0;
        ParseDate(date->value, when, zone);
        tokens.add("d", when == 0 ? "(unreadable)" : "(zone unreadable)");
    }
    std::string zoneShape(trim(zone));
    if (zoneShape.size() >= 5 && (zoneShape[0] == '+' || zoneShape[0] == '-')) {
        tokens.add("dz", zoneShape.substr(0, 5));
        if (zoneShape.size() > 5) tokens.add("dz", "(with name)");
    } else {
        tokens.add("dz", zoneShape.empty() ? std::string("(none)") : lower(zoneShape).substr(0, 10));
    }
    if (!value.empty() && isDigit(value.front())) tokens.add("df", "(no weekday)");
    if (value.find(',') == std::string_view::npos && !value.empty() && !isDigit(value.front())) tokens.add("df", "(no comma)");
    const std::size_t colon = value.find(':');
    if (colon != std::string_view::npos && value.find(':', colon + 1) == std::string_view::npos)
        tokens.add("df", "(no seconds)");
    if (read && firstReceived != 0) {
        const double ahead = minutes - firstReceived;  // positive: written after it arrived
        const std::string_view gap = ahead > 60          ? "(future hours)"
                                     : ahead > 10        ? "(future minutes)"
                                     : ahead > -15       ? "(close)"
                                     : ahead > -24 * 60  ? "(hours before)"
                                     : ahead > -7 * 1440 ? "(days before)"
                                                         : "(weeks before)";
        tokens.add("dr", gap);
    }
}

void contentTokens(Tokens& tokens, const std::vector<Field>& fields) {
    const Field* type = findField(fields, "content-type");
    if (!type) {
        tokens.add("ct", "(none)");
        return;
    }
    const std::string value = lower(type->value);
    const std::size_t semi = value.find(';');
    tokens.add("ct", trim(std::string_view(value).substr(0, semi)));
    const std::size_t charset = value.find("charset=");
    if (charset != std::string::npos) {
        std::string_view cs = std::string_view(value).substr(charset + 8);
        cs = cs.substr(0, cs.find_first_of("; "));
        while (!cs.empty() && cs.front() == '"') cs.remove_prefix(1);
        while (!cs.empty() && cs.back() == '"') cs.remove_suffix(1);
        tokens.add("cs", cs);
    }
    const std::size_t boundary = value.find("boundary=");
    if (boundary != std::string::npos) {
        // The case of a boundary tells its maker: read it from the value as written.
        std::string_view b = std::string_view(type->value).substr(boundary + 9);
        b = b.substr(0, b.find(';'));
        b = trim(b);
        while (!b.empty() && b.front() == '"') b.remove_prefix(1);
        while (!b.empty() && b.back() == '"') b.remove_suffix(1);
        tokens.add("cb", shape(b));
    }
}

}  // namespace

std::string joinHeaderLines(const TmsHeaders& headers) {
    std::string text;
    for (const auto& line : headers) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::vector<std::string> learningTokens(const TmsHeaders& headers, std::uint64_t sizeOctets) {
    return learningTokens(joinHeaderLines(headers), sizeOctets);
}

std::vector<std::string> learningTokens(std::string_view headerLines, std::uint64_t sizeOctets) {
    std::vector<std::string> out;
    out.reserve(96);
    Tokens tokens(out);
    std::size_t junk = 0;
    const std::vector<Field> fields = readFields(headerLines, junk);

    subjectTokens(tokens, findField(fields, "subject"));
    addressTokens(tokens, fields);
    double firstReceived = 0;
    receivedTokens(tokens, fields, firstReceived);
    dateTokens(tokens, findField(fields, "date"), firstReceived);

    const Field* id = findField(fields, "message-id");
    if (!id) {
        tokens.add("mid", "(none)");
    } else {
        const std::string address = addressOf(id->value);
        const std::size_t at = address.find('@');
        if (at == std::string::npos) {
            tokens.add("mid", "(no domain)");
        } else {
            domainAndParents(tokens, "mid", domainOf(address));
            tokens.add("mids", shape(std::string_view(id->value).substr(0, id->value.find('@'))));
        }
    }
    for (const char* name : {"x-mailer", "user-agent"}) {
        if (const Field* mailer = findField(fields, name)) {
            const std::string value = lower(mailer->value);
            tokens.add("xm", value);
            tokens.add("xm", value.substr(0, value.find_first_of(" /(")));
        }
    }
    contentTokens(tokens, fields);
    if (const Field* list = findField(fields, "list-id")) {
        const std::string address = addressOf(list->value);
        tokens.add("lid", address.empty() ? std::string_view(lower(list->value)).substr(0, 40) : std::string_view(address));
    }
    if (const Field* unsubscribe = findField(fields, "list-unsubscribe")) {
        const std::string value = lower(unsubscribe->value);
        if (value.find("mailto:") != std::string::npos) tokens.add("lu", "mailto");
        if (value.find("http") != std::string::npos) tokens.add("lu", "web");
    }
    for (const auto& field : fields) {
        if (field.name != "authentication-results" && field.name != "received-spf") continue;
        const std::string value = lower(field.value);
        if (field.name == "received-spf") {
            tokens.add("ar", "spf=" + value.substr(0, value.find_first_of(" ;(")));
            continue;
        }
        for (const char* method : {"spf=", "dkim=", "dmarc="}) {
            const std::size_t at = value.find(method);
            if (at == std::string::npos) continue;
            const std::size_t start = at + std::string_view(method).size();
            const std::size_t end = value.find_first_of(" ;()", start);
            tokens.add("ar", std::string(method) + value.substr(start, end == std::string::npos ? end : end - start));
        }
    }
    // The words of every other field, under its name: what a field says
    // matters even where no rule above reads it.
    for (const auto& field : fields) {
        if (tokens.full()) break;
        if (field.name == "subject" || field.name == "from" || field.name == "date") continue;
        genericWords(tokens, field.name, field.value);
    }
    // Sizes by powers of two: spam is mostly small.
    unsigned log2 = 0;
    while (log2 < 40 && (std::uint64_t{1} << (log2 + 1)) <= sizeOctets) ++log2;
    tokens.add("sz", sizeOctets == 0 ? std::string("0") : std::to_string(log2));
    if (junk > 0) tokens.add("h.", "(damaged lines)");
    // Field names last: a header of a thousand made-up fields crowds out nothing else.
    for (const auto& field : fields) tokens.add("h", field.name);
    return out;
}

std::string tokenCaption(std::string_view token) {
    struct Name {
        std::string_view prefix;
        std::string_view caption;
        bool quoted;
    };
    static constexpr Name kNames[] = {
        {"s", "Subject", true},          {"s.", "Subject", false},         {"fn", "From name", true},
        {"fa", "From", false},           {"fl", "From address shape", false}, {"fd", "From domain", false},
        {"rt", "Reply-To", false},       {"rtd", "Reply-To domain", false}, {"rp", "Return-Path", false},
        {"rpd", "Return-Path domain", false}, {"to", "To", false},         {"tod", "To domain", false},
        {"cc", "Cc", false},             {"rh", "Received hops", false},    {"rhelo", "Received HELO", false},
        {"rby", "Received by", false},   {"rwith", "Received with", false}, {"rhost", "Received from", false},
        {"rdom", "Received from", false}, {"rip", "Received from", false},  {"d", "Date", false},
        {"dz", "Date zone", false},      {"df", "Date format", false},      {"dr", "Date vs. Received", false},
        {"mid", "Message-ID", false},    {"mids", "Message-ID shape", false}, {"xm", "Mailer", true},
        {"ct", "Content-Type", false},   {"cs", "Charset", false},          {"cb", "Boundary shape", false},
        {"lid", "List-Id", false},       {"lu", "List-Unsubscribe", false}, {"ar", "Authentication", false},
        {"h", "Field", false},           {"h.", "Header", false},           {"sz", "Size 2^", false},
    };
    const std::size_t colon = token.find(':');
    if (colon == std::string_view::npos) return std::string(token);
    const std::string_view prefix = token.substr(0, colon);
    const std::string_view value = token.substr(colon + 1);
    if (prefix.size() > 1 && prefix[0] == '~') {
        // A word of a field: "Received 'esmtp'", the name as commonly written.
        std::string text(prefix.substr(1));
        bool start = true;
        for (char& c : text) {
            if (start && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            start = c == '-';
        }
        return text + " '" + std::string(value) + "'";
    }
    for (const auto& name : kNames) {
        if (name.prefix != prefix) continue;
        std::string text(name.caption);
        if (name.caption.back() != '^') text += ' ';
        if (name.quoted) text += '\'';
        text += value;
        if (name.quoted) text += '\'';
        return text;
    }
    return std::string(token);
}

}  // namespace quorvel
