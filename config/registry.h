#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvel {

class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's registry: a tree of keys holding named values, kept in one
// file that only its owner can read (it holds enciphered passwords). Key and
// value names are compared without regard to case. Nothing is cached: every
// read reads the file, every write replaces it whole (temporary file, then
// rename), so a crash never leaves half a store.
//
// The file reads like a registry export:
//   [HKEY_CURRENT_USER\Software\Velmont\Quorvel\10\General]
//   "Minutes"="10"
// with \\, \" and \xHH escapes in names and values. Values of any other type
// ("name"=dword:...) are kept, and reading them as text fails.
class Registry {
public:
    explicit Registry(std::string filePath);

    const std::string& filePath() const { return path_; }

    // The text of a value; nothing when the key or the value is missing.
    // Throws "Invalid data type for '<name>'" for a value that is not text.
    std::optional<std::string> readString(const std::string& key, const std::string& name) const;

    // Writes a text value, creating its key. Throws "Failed to create key <key>"
    // when the store's folder cannot be made, "Failed to set data for '<name>'"
    // when the store cannot be written. Does nothing while the file cannot be
    // read (readProblem).
    void writeString(const std::string& key, const std::string& name, const std::string& value);

    bool keyExists(const std::string& key) const;

    // Why the file is there but cannot be read; "" when it reads or is
    // missing. Such a store reads as empty, and writes leave it as it is:
    // replacing it would lose every value it holds.
    std::string readProblem() const;
    std::vector<std::string> valueNames(const std::string& key) const;

private:
    std::string path_;
};

}  // namespace quorvel
