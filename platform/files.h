#pragma once

#include <optional>
#include <string>

namespace quorvel {

// Reads a whole file as bytes; nothing when it cannot be opened or read.
std::optional<std::string> readFileBytes(const std::string& path);
// The same, telling why a file that is there could not be read: `problem`
// is the system's reason then, and "" when the file is read or missing.
std::optional<std::string> readFileBytes(const std::string& path, std::string& problem);

// Replaces a file whole: the bytes go to a temporary file in the same folder,
// which is then renamed over the old one, so a crash or a full disk never
// leaves a half-written file. Throws std::runtime_error on failure. The
// program's files hold the user's mail and rules: readable by the user only.
void writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0600);

bool fileExists(const std::string& path);

// Creates `path` and its missing parents, each new folder usable by the user
// only (0700); folders already there are left as they are. False on failure.
bool makePrivateFolders(const std::string& path);

// Makes `path` a folder only the user can use: created 0700 when missing; one
// already there must be a real folder (no link) that the user owns, and loses
// any access of others. False when it cannot be made so.
bool ensurePrivateFolder(const std::string& path);

// The user's home folder: $HOME, or the password database's entry when HOME
// is unset or empty; empty when neither knows it.
std::string homeFolder();

// A folder for the program's lock and socket that no other user can reach:
// $XDG_RUNTIME_DIR when it is the user's own and closed to others, otherwise
// ~/.cache/quorvel made private. Empty when there is none.
std::string privateRuntimeFolder();

// Joins a folder and a file name with exactly one separator between them.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace quorvel
