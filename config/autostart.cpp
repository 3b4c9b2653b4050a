#include "config/autostart.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "platform/files.h"

namespace quorvel {

namespace {

constexpr const char* kEntryName = "quorvel.desktop";

// One argument of an Exec line: quoted, with the characters that are special
// inside quotes escaped, then escaped once more as a string value, with
// percent signs doubled so that none reads as a field code.
std::string execArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            throw std::invalid_argument("The program's path holds a control character: " + argument);
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (const char c : quoted) {
        if (c == '\\') value += '\\';
        if (c == '%') value += '%';
        value += c;
    }
    return value;
}

}  // namespace

AutostartEntry::AutostartEntry(std::string configHome, std::string executable)
    : configHome_(std::move(configHome)), executable_(std::move(executable)) {}

std::string AutostartEntry::defaultConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || home[0] != '/') return "";
    return joinPath(home, ".config");
}

std::string AutostartEntry::contents(const std::string& executable) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quorvel\n"
           "Comment=Checks your mailboxes for spam from the notification area\n"
           "Exec=" +
           execArgument(executable) +
           " --tray\n"
           "Icon=com.velmont.Quorvel\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::string AutostartEntry::path() const {
    return joinPath(joinPath(configHome_, "autostart"), kEntryName);
}

bool AutostartEntry::exists() const {
    return available() && fileExists(path());
}

void AutostartEntry::write() const {
    if (!available()) throw std::runtime_error("The program cannot be started at log-in from here.");
    const std::string text = contents(executable_);
    const std::string file = path();
    if (readFileBytes(file) == text) return;
    std::error_code error;
    std::filesystem::create_directories(joinPath(configHome_, "autostart"), error);
    if (error) throw std::runtime_error("Unable to create " + joinPath(configHome_, "autostart") + ": " + error.message());
    writeFileAtomically(file, text);
}

void AutostartEntry::remove() const {
    if (!available()) return;
    if (::unlink(path().c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("Unable to remove " + path() + ": " + std::strerror(errno));
}

}  // namespace quorvel
