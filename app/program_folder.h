#pragma once

#include <string>

namespace quorvel {

// The folder of the rule files, quorvel.ini, known.lst, the default log, the
// alarm and saved messages: the executable's own folder when the program may
// write there (a portable build), otherwise the user's data folder. An
// installed program (in a system folder such as /usr/bin, or beside an
// installed share/quorvel) always uses the user's data folder, even for root.
std::string chooseProgramFolder(const std::string& executableFolder, const std::string& userDataFolder);

// The program folder of an executable in `executableFolder`, chosen as above
// and, for an installed copy, seeded from the data installed beside it
// (../share/quorvel). The window and quorvel-check both start here, so they
// read and write the same rules, settings and caches.
std::string programFolderOf(const std::string& executableFolder, const std::string& userDataFolder);

// Copies every file of `dataFolder` that `programFolder` lacks, so a first
// start finds known.lst, the alarm and the help beside the program. Files
// already there are never touched: the user may have changed them.
void seedProgramFolder(const std::string& programFolder, const std::string& dataFolder);

// $XDG_DATA_HOME/quorvel, or ~/.local/share/quorvel; and the settings folder
// $XDG_CONFIG_HOME/Velmont/Quorvel/10, or ~/.config/Velmont/Quorvel/10.
std::string defaultUserDataFolder();
std::string defaultSettingsFolder();

}  // namespace quorvel
