#include "config/registry.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>

#include "platform/files.h"

namespace quorvel {

namespace {

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

struct Value {
    std::string name;
    std::string data;   // the text, or the raw text after "=" for other types
    bool isText = true;
};

struct Key {
    std::string path;
    std::vector<Value> values;
};

std::string escape(const std::string& s) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads a quoted string starting at s[pos] == '"'; leaves pos after the
// closing quote. False when the string is not closed on its line.
bool readQuoted(const std::string& s, std::size_t& pos, std::string& out) {
    ++pos;
    while (pos < s.size()) {
        const char c = s[pos++];
        if (c == '"') return true;
        if (c != '\\' || pos >= s.size()) {
            out += c;
            continue;
        }
        const char e = s[pos++];
        if (e == 'x' && pos + 1 < s.size() && hexDigit(s[pos]) >= 0 && hexDigit(s[pos + 1]) >= 0) {
            out += static_cast<char>(hexDigit(s[pos]) * 16 + hexDigit(s[pos + 1]));
            pos += 2;
        } else {
            out += e;
        }
    }
    return false;
}

std::vector<Key> parse(const std::string& text) {
    std::vector<Key> keys;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const std::size_t close = line.rfind(']');
            if (close == std::string::npos || close == 0) continue;
            keys.push_back({line.substr(1, close - 1), {}});
            continue;
        }
        if (line[0] != '"' || keys.empty()) continue;  // a stray line is skipped, not fatal
        std::size_t pos = 0;
        Value v;
        if (!readQuoted(line, pos, v.name) || pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        if (pos < line.size() && line[pos] == '"') {
            if (!readQuoted(line, pos, v.data)) continue;
        } else {
            v.isText = false;
            v.data = line.substr(pos);
        }
        keys.back().values.push_back(std::move(v));
    }
    return keys;
}

std::string serialize(const std::vector<Key>& keys) {
    std::string out = "; Quorvel settings. Written by the program; edit only while it is not running.\n";
    for (const auto& k : keys) {
        out += "\n[" + k.path + "]\n";
        for (const auto& v : k.values)
            out += "\"" + escape(v.name) + "\"=" + (v.isText ? "\"" + escape(v.data) + "\"" : v.data) + "\n";
    }
    return out;
}

const Key* findKey(const std::vector<Key>& keys, const std::string& path) {
    for (const auto& k : keys)
        if (equalsNoCase(k.path, path)) return &k;
    return nullptr;
}

std::vector<Key> load(const std::string& path, std::string& problem) {
    const auto bytes = readFileBytes(path, problem);
    return bytes ? parse(*bytes) : std::vector<Key>{};
}

std::vector<Key> load(const std::string& path) {
    std::string problem;
    return load(path, problem);
}

}  // namespace

Registry::Registry(std::string filePath) : path_(std::move(filePath)) {}

std::optional<std::string> Registry::readString(const std::string& key, const std::string& name) const {
    const auto keys = load(path_);
    const Key* k = findKey(keys, key);
    if (!k) return std::nullopt;
    for (const auto& v : k->values) {
        if (!equalsNoCase(v.name, name)) continue;
        if (!v.isText) throw ERegistryException("Invalid data type for '" + name + "'");
        return v.data;
    }
    return std::nullopt;
}

void Registry::writeString(const std::string& key, const std::string& name, const std::string& value) {
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty() && !makePrivateFolders(folder.string())) throw ERegistryException("Failed to create key " + key);

    std::string problem;
    auto keys = load(path_, problem);
    if (!problem.empty()) return;
    Key* k = const_cast<Key*>(findKey(keys, key));
    if (!k) {
        keys.push_back({key, {}});
        k = &keys.back();
    }
    bool found = false;
    for (auto& v : k->values) {
        if (equalsNoCase(v.name, name)) {
            if (v.isText && v.data == value) return;  // already so: spare the disk a rewrite
            v = {v.name, value, true};
            found = true;
            break;
        }
    }
    if (!found) k->values.push_back({name, value, true});
    try {
        writeFileAtomically(path_, serialize(keys), 0600);
    } catch (const std::exception&) {
        throw ERegistryException("Failed to set data for '" + name + "'");
    }
}

bool Registry::keyExists(const std::string& key) const {
    return findKey(load(path_), key) != nullptr;
}

std::vector<std::string> Registry::valueNames(const std::string& key) const {
    std::vector<std::string> names;
    const auto keys = load(path_);
    if (const Key* k = findKey(keys, key))
        for (const auto& v : k->values) names.push_back(v.name);
    return names;
}

std::string Registry::readProblem() const {
    std::string problem;
    readFileBytes(path_, problem);
    return problem;
}

}  // namespace quorvel
