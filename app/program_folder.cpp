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

// A folder of the system's programs, or one beside an installed data folder:
// whoever may write there, it is shared and never holds a user's files.
bool isInstalled(const std::string& executableFolder) {
    static const char* const systemFolders[] = {"/bin",           "/sbin",           "/usr/bin", "/usr/sbin",
                                                "/usr/local/bin", "/usr/local/sbin", "/usr/games"};
    std::error_code error;
    const fs::path given = fs::path(executableFolder).lexically_normal();
    fs::path real = fs::weakly_canonical(given, error);
    if (error) real = given;
    for (const fs::path& folder : {given, real}) {
        const std::string text = folder.string().size() > 1 && folder.string().back() == '/'
                                     ? folder.string().substr(0, folder.string().size() - 1)
                                     : folder.string();
        for (const char* system : systemFolders)
            if (text == system) return true;
    }
    return fs::is_directory(real.parent_path() / "share" / "quorvel", error);
}

}  // namespace

std::string chooseProgramFolder(const std::string& executableFolder, const std::string& userDataFolder) {
    if (!executableFolder.empty() && !isInstalled(executableFolder) && access(executableFolder.c_str(), W_OK) == 0)
        return executableFolder;
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

std::string programFolderOf(const std::string& executableFolder, const std::string& userDataFolder) {
    const std::string folder = chooseProgramFolder(executableFolder, userDataFolder);
    const fs::path installed = fs::path(executableFolder) / ".." / "share" / "quorvel";
    std::error_code error;
    if (!executableFolder.empty() && fs::is_regular_file(installed / "known.lst", error))
        seedProgramFolder(folder, installed.lexically_normal().string());
    return folder;
}

std::string defaultUserDataFolder() {
    return fromEnvironment("XDG_DATA_HOME", ".local/share") + "/quorvel";
}

std::string defaultSettingsFolder() {
    return fromEnvironment("XDG_CONFIG_HOME", ".config") + "/Velmont/Quorvel/10";
}

}  // namespace quorvel
