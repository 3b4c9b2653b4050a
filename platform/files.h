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
// leaves a half-written file. Throws std::runtime_error on failure.
void writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0644);

bool fileExists(const std::string& path);

// Joins a folder and a file name with exactly one separator between them.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace quorvel
