#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

inline constexpr const char* kKnownListFileName = "known.lst";

// The order of the known-spammer list: byte-wise after folding the ASCII
// letters to upper case. A fixed order rather than the user's locale, so the
// list sorts and searches the same on every machine. Returns <0, 0 or >0.
int compareKnownEntries(std::string_view a, std::string_view b);

// Only this many leading characters of an entry take part in a look-up.
inline constexpr std::size_t kKnownEntryCompareLength = 80;

// The known-spammer list: e-mail addresses and domain names, kept sorted.
// The entries live in one buffer laid out exactly as "known.lst" is, so a list
// of a million entries costs no allocation per entry, and saving it is a copy.
class KnownList {
public:
    // Fills the list from the file; an absent file leaves it empty. Empty lines
    // are skipped and the entries sorted, so a file edited by hand still
    // searches correctly.
    void LoadUpKnownList(const std::string& path);
    // The same from the file's bytes.
    void loadFromBytes(std::string_view bytes);

    // Binary search; the index of an entry whose first 80 characters equal the
    // key, or -1.
    int FindInKnownList(std::string_view key) const;

    // Replaces the entries with these texts (copied), sorted; entries that
    // compare equal keep their order. Line breaks have no place in an entry.
    void assign(const std::vector<std::string_view>& entries);

    std::size_t size() const { return starts_.size(); }
    std::string_view entry(std::size_t index) const;
    std::vector<std::string> entries() const;

    // One entry per line, CR LF after each.
    const std::string& toFileBytes() const { return pool_; }

private:
    std::string pool_;                  // every entry followed by CR LF
    std::vector<std::size_t> starts_;  // where each entry begins in pool_
};

// An address whose part before the first at sign is digits and underscores
// only (or empty). Text without an at sign is a domain name and never counts.
bool hasNumericLocalPart(std::string_view line);

// The entries the editor's text gives: every line whose upper-cased form
// differs from the line before it, leaving out empty lines and addresses with
// an all-numeric local part. Not yet sorted; the views point into editorText.
std::vector<std::string_view> filterKnownListLines(std::string_view editorText);

}  // namespace quorvel
