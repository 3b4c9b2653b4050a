#include "app/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace quorvel {

namespace fs = std::filesystem;

namespace {

std::string fromEnvironment(const char* variable, const char* fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value && *value) return value;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/" + fallbackUnderHome;
}

}  // namespace

std::string chooseProgramFolder(const std::string& executableFolder, const std::string& userDataFolder) {
    if (!executableFolder.empty() && access(executableFolder.c_str(), W_OK) == 0) return executableFolder;
    std::error_code ignored;
    fs::create_directories(userDataFolder, ignored);
    return userDataFolder;
}

void seedProgramFolder(const std::string& programFolder, const std::string& dataFolder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dataFolder, error)) {
        if (!entry.is_regular_file()) continue;
        const fs::path target = fs::path(programFolder) / entry.path().filename();
        if (!fs::exists(target, error)) fs::copy_file(entry.path(), target, error);
    }
}

std::string defaultUserDataFolder() {
    return fromEnvironment("XDG_DATA_HOME", ".local/share") + "/quorvel";
}

std::string defaultSettingsFolder() {
    return fromEnvironment("XDG_CONFIG_HOME", ".config") + "/Velmont/Quorvel/10";
}

}  // namespace quorvel
