#include "config/ini_file.h"

#include <limits>

#include "config/text_lines.h"
#include "platform/ascii_text.h"

namespace quorvel {

namespace {

std::string_view trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

// The name of a "[name]" line; nothing for other lines.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    line.remove_prefix(1);
    return trim(line.substr(0, line.find(']')));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view line) {
    const std::string_view trimmed = trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return std::nullopt;
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    return KeyLine{trim(trimmed.substr(0, equals)), trim(trimmed.substr(equals + 1))};
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<unsigned long long> readDigits(std::string_view digits, unsigned base) {
    if (digits.empty()) return std::nullopt;
    unsigned long long value = 0;
    for (char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && asciiUpper(c) >= 'A' && asciiUpper(c) <= 'F')
            digit = static_cast<unsigned>(asciiUpper(c) - 'A' + 10);
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<int> parseIniInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const auto magnitude = readDigits(text, base);
    if (!magnitude) return std::nullopt;
    const long long value = negative ? -static_cast<long long>(*magnitude) : static_cast<long long>(*magnitude);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(value);
}

IniFile::IniFile(std::string_view bytes) {
    for (std::string_view line : splitLines(bytes)) lines_.emplace_back(line);
}

std::optional<std::size_t> IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i]);
        if (name && sameName(*name, section)) return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::findKey(std::size_t sectionLine, std::string_view key) const {
    for (std::size_t i = sectionLine + 1; i < lines_.size() && !sectionName(lines_[i]); ++i) {
        const auto entry = keyLine(lines_[i]);
        if (entry && sameName(entry->key, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const auto sectionLine = findSection(section);
    if (!sectionLine) return std::nullopt;
    const auto line = findKey(*sectionLine, key);
    if (!line) return std::nullopt;
    return std::string(unquote(keyLine(lines_[*line])->value));
}

std::string IniFile::readString(std::string_view section, std::string_view key, const std::string& fallback) const {
    return value(section, key).value_or(fallback);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int fallback) const {
    const auto text = value(section, key);
    if (!text) return fallback;
    return parseIniInteger(*text).value_or(fallback);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string line = std::string(key) + "=" + std::string(value.substr(0, value.find_first_of("\r\n")));
    const auto sectionLine = findSection(section);
    if (!sectionLine) {
        std::string header(1, '[');
        header.append(section).push_back(']');
        lines_.push_back(std::move(header));
        lines_.push_back(line);
        return;
    }
    if (const auto keyLineIndex = findKey(*sectionLine, key)) {
        lines_[*keyLineIndex] = line;
        return;
    }
    // A new key goes after the section's last non-blank line, ahead of the blank
    // lines that usually separate it from the next section.
    std::size_t insertAt = *sectionLine + 1;
    for (std::size_t i = insertAt; i < lines_.size() && !sectionName(lines_[i]); ++i)
        if (!trim(lines_[i]).empty()) insertAt = i + 1;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

std::string IniFile::toBytes() const {
    std::string out;
    for (const std::string& line : lines_) out += line + "\r\n";
    return out;
}

}  // namespace quorvel
