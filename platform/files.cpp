#include "platform/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace quorvel {

std::optional<std::string> readFileBytes(const std::string& path) {
    std::string problem;
    return readFileBytes(path, problem);
}

std::optional<std::string> readFileBytes(const std::string& path, std::string& problem) {
    problem.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) problem = std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            problem = std::strerror(errno);  // a folder, say, opens but does not read
            close(fd);
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return bytes;
}

void writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("Cannot create " + temp + ": " + std::strerror(errno));
    const auto fail = [&](const char* what) {
        const int err = errno;
        close(fd);
        unlink(temp.c_str());
        throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(err));
    };
    if (fchmod(fd, mode) != 0) fail("Cannot set the mode of");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("Cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0) fail("Cannot write");
    if (close(fd) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        throw std::runtime_error("Cannot write " + path + ": " + std::strerror(err));
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        throw std::runtime_error("Cannot replace " + path + ": " + std::strerror(err));
    }
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool makePrivateFolders(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::size_t slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0 && !makePrivateFolders(path.substr(0, slash))) return false;
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool ensurePrivateFolder(const std::string& path) {
    if (!makePrivateFolders(path)) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
    if (ok && (st.st_mode & 077) != 0) ok = fchmod(fd, st.st_mode & 0700) == 0;
    close(fd);
    return ok;
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        *found->pw_dir)
        return found->pw_dir;
    return {};
}

std::string privateRuntimeFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        // The session's folder is the system's to set up: use it only as it should be.
        struct stat st {};
        if (lstat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0)
            return runtime;
    }
    const std::string home = homeFolder();
    if (home.empty()) return {};
    const std::string folder = home + "/.cache/quorvel";
    return ensurePrivateFolder(folder) ? folder : std::string();
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace quorvel
