#include "config/settings_store.h"

#include <charconv>

#include "platform/files.h"

namespace quorvel {

SettingsStore::SettingsStore(const std::string& folder) : registry_(joinPath(folder, kFileName)) {}

std::string SettingsStore::keyOf(const std::string& section) {
    return std::string(kKey) + "\\" + section;
}

std::string SettingsStore::readString(const std::string& section, const std::string& name,
                                      const std::string& def) const {
    return registry_.readString(keyOf(section), name).value_or(def);
}

int SettingsStore::readInteger(const std::string& section, const std::string& name, int def) const {
    const auto text = registry_.readString(keyOf(section), name);
    return text ? parseStoredInteger(*text, def) : def;
}

bool SettingsStore::readBool(const std::string& section, const std::string& name, bool def) const {
    return readInteger(section, name, def ? 1 : 0) != 0;
}

void SettingsStore::writeString(const std::string& section, const std::string& name, const std::string& value) {
    registry_.writeString(keyOf(section), name, value);
}

void SettingsStore::writeInteger(const std::string& section, const std::string& name, int value) {
    writeString(section, name, std::to_string(value));
}

void SettingsStore::writeBool(const std::string& section, const std::string& name, bool value) {
    writeString(section, name, value ? "1" : "0");
}

int parseStoredInteger(const std::string& text, int def) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    int value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        // Hexadecimal is read as the 32 bits it spells, so 0xFFFFFFFF is -1.
        unsigned int bits = 0;
        const auto [end, error] = std::from_chars(first + 2, last, bits, 16);
        if (error != std::errc() || end != last) return def;
        return static_cast<int>(bits);
    }
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+') return def;
    const auto [end, error] = std::from_chars(first, last, value, 10);
    if (error != std::errc() || end != last) return def;
    return value;
}

}  // namespace quorvel
