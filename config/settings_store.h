#pragma once

#include <string>

#include "config/registry.h"

namespace quorvel {

// The program's own key of the registry, with the typed reads and writes of
// its settings. Every value is text: truth values are "1" and "0", integers
// decimal, read back with a default for whatever is missing or does not parse.
// Reading never writes.
class SettingsStore {
public:
    static constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Velmont\\Quorvel\\10";
    static constexpr const char* kFileName = "settings.reg";

    // The store kept in `folder` (its file is settings.reg there).
    explicit SettingsStore(const std::string& folder);

    std::string readString(const std::string& section, const std::string& name, const std::string& def) const;
    int readInteger(const std::string& section, const std::string& name, int def) const;
    bool readBool(const std::string& section, const std::string& name, bool def) const;

    void writeString(const std::string& section, const std::string& name, const std::string& value);
    void writeInteger(const std::string& section, const std::string& name, int value);
    void writeBool(const std::string& section, const std::string& name, bool value);

    Registry& registry() { return registry_; }
    // Why the store's file is there but cannot be read; "" when all is well.
    std::string readProblem() const { return registry_.readProblem(); }
    const std::string& filePath() const { return registry_.filePath(); }

private:
    static std::string keyOf(const std::string& section);
    Registry registry_;
};

// Integer text as the store reads it: decimal with an optional sign, or
// hexadecimal after "0x"/"0X" when the text is longer than two characters.
// Returns `def` for anything else, including numbers out of range.
int parseStoredInteger(const std::string& text, int def);

}  // namespace quorvel
