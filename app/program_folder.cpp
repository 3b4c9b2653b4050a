#include "app/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/files.h"

namespace quorvel {

namespace fs = std::filesystem;

namespace {

std::string fromEnvironment(const char* variable, const char* fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value && *value) return value;
    // Never a shared folder such as /tmp, where another user could be first.
    const std::string home = homeFolder();
    if (home.empty()) throw std::runtime_error("Cannot find your home folder.");
    return home + "/" + fallbackUnderHome;
}

}  // namespace

std::string chooseProgramFolder(const std::string& executableFolder, const std::string& userDataFolder) {
    if (!executableFolder.empty() && access(executableFolder.c_str(), W_OK) == 0) return executableFolder;
    makePrivateFolders(userDataFolder);
    return userDataFolder;
}

void seedProgramFolder(const std::string& programFolder, const std::string& dataFolder) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dataFolder, error)) {
        if (!entry.is_regular_file()) continue;
        const fs::path target = fs::path(programFolder) / entry.path().filename();
        if (fs::exists(target, error)) continue;
        if (fs::copy_file(entry.path(), target, error))
            fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, error);
    }
}

std::string defaultUserDataFolder() {
    return fromEnvironment("XDG_DATA_HOME", ".local/share") + "/quorvel";
}

std::string defaultSettingsFolder() {
    return fromEnvironment("XDG_CONFIG_HOME", ".config") + "/Velmont/Quorvel/10";
}

}  // namespace quorvel
