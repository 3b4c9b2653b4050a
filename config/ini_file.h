#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// A Windows INI file ("[Section]" lines and "Key=Value" lines) held as its
// lines, so that writing a value keeps every other line of the file as it was.
// Section and key names compare without regard to ASCII letter case; the first
// of several equal sections or keys is the one read and written.
class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string_view bytes);

    // The value with surrounding blanks and one pair of matching quotes removed.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key, const std::string& fallback) const;
    // A missing key, or a value that is not a number, gives the fallback.
    int readInteger(std::string_view section, std::string_view key, int fallback) const;
    // Any integer but 0 is true.
    bool readBool(std::string_view section, std::string_view key, bool fallback) const;

    // Line breaks in a value would start new lines of the file: the value is cut at the first.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // The file's bytes, CR LF after every line.
    std::string toBytes() const;

private:
    // Index of the first line of the section's header, if present.
    std::optional<std::size_t> findSection(std::string_view section) const;
    // Index of the key's line inside the section starting at sectionLine.
    std::optional<std::size_t> findKey(std::size_t sectionLine, std::string_view key) const;

    std::vector<std::string> lines_;
};

// Reads an integer the way the INI readers of Windows programs do: an optional
// sign, then decimal digits or hexadecimal after "$" or "0x". Nothing when the
// text is anything else or does not fit in an int.
std::optional<int> parseIniInteger(std::string_view text);

}  // namespace quorvel
