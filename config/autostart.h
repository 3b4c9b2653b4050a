#pragma once

#include <string>

namespace quorvel {

// The desktop entry that starts the program, in tray mode, when the user
// logs in: "quorvel.desktop" in the autostart folder of the user's
// configuration folder.
class AutostartEntry {
public:
    // `configHome` is the user's configuration folder, `executable` the
    // program to start. Either empty: the entry cannot be made here.
    AutostartEntry(std::string configHome, std::string executable);

    // $XDG_CONFIG_HOME when it names an absolute folder, else ~/.config.
    static std::string defaultConfigHome();
    // The entry's text for `executable`. Throws std::invalid_argument for a
    // path that a desktop entry cannot hold (a line break or another control
    // character).
    static std::string contents(const std::string& executable);

    bool available() const { return !configHome_.empty() && !executable_.empty(); }
    std::string path() const;
    bool exists() const;
    // Writes the entry unless it is there already as it would be written.
    // Throws std::runtime_error when the file cannot be written.
    void write() const;
    // Removes the entry if it is there. Throws std::runtime_error on failure.
    void remove() const;

private:
    std::string configHome_;
    std::string executable_;
};

}  // namespace quorvel
