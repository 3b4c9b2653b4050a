#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

// What a POP3 server said it can do in its answer to CAPA: one capability a
// line, a name and its arguments. Names are kept in upper case and compared
// so; arguments are kept as sent.
class TmsCapabilities {
public:
    struct Capability {
        std::string name;
        std::vector<std::string> arguments;
        bool operator==(const Capability&) const = default;
    };

    // Bounds on what a server can make this list hold.
    static constexpr std::size_t kMaxCapabilities = 64;
    static constexpr std::size_t kMaxArguments = 32;
    static constexpr std::size_t kMaxWordLength = 128;

    // Reads the lines of a CAPA answer (after its status line), up to the
    // terminating "." line if there is one. Lines beyond the bounds, empty
    // lines and words with control characters are left out.
    static TmsCapabilities parse(std::string_view answer);

    bool has(std::string_view name) const { return find(name) != nullptr; }
    // The capability by name (any case), or null.
    const Capability* find(std::string_view name) const;
    const std::vector<Capability>& items() const { return items_; }
    bool empty() const { return items_.empty(); }
    void clear() { items_.clear(); }

private:
    std::vector<Capability> items_;
};

}  // namespace quorvel
