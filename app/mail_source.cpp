#include "app/mail_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace quorvel {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 1 << 16;

class OpenFile {
public:
    explicit OpenFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)) {
        if (fd_ < 0) throw std::runtime_error(path + " cannot be read: " + std::strerror(errno));
    }
    ~OpenFile() { ::close(fd_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    // Up to `count` octets at `offset`; fewer only at the end of the file.
    std::size_t read(char* into, std::size_t count, std::uint64_t offset, const std::string& path) const {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::pread(fd_, into + done, count - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw std::runtime_error(path + " cannot be read: " + std::strerror(errno));
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

private:
    int fd_;
};

bool startsWithFromLine(const std::string& path) {
    OpenFile file(path);
    char head[5];
    return file.read(head, sizeof head, 0, path) == sizeof head && std::memcmp(head, "From ", 5) == 0;
}

void tooMany(const StoredMessages& found, const std::string& path) {
    throw std::runtime_error(path + " holds more than " + std::to_string(found.maxMessages) +
                             " messages; choose a smaller folder.");
}

// Every message of an mbox file: each starts on the line after a "From "
// line that begins the file or follows a line end.
void addMbox(StoredMessages& found, const std::string& path, std::uint64_t fileSize) {
    const auto fileIndex = static_cast<std::uint32_t>(found.files.size());
    found.files.push_back(path);
    OpenFile file(path);
    std::string chunk(kChunk + 6, '\0');
    std::vector<std::uint64_t> starts;  // of the "From " lines
    char before = '\n';                 // the octet before the chunk
    for (std::uint64_t at = 0; at < fileSize;) {
        const std::size_t n = file.read(chunk.data(), std::min<std::uint64_t>(kChunk + 5, fileSize - at), at, path);
        if (n == 0) break;
        for (std::size_t i = 0; i < n && i < kChunk; ++i) {
            const char previous = i == 0 ? before : chunk[i - 1];
            if (previous == '\n' && chunk[i] == 'F' && n - i >= 5 && std::memcmp(&chunk[i], "From ", 5) == 0)
                starts.push_back(at + i);
        }
        const std::size_t used = std::min(n, kChunk);
        before = chunk[used - 1];
        at += used;
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
        // The message begins past its "From " line.
        std::uint64_t begin = starts[k];
        const std::uint64_t end = k + 1 < starts.size() ? starts[k + 1] : fileSize;
        char c = 0;
        while (begin < end && file.read(&c, 1, begin, path) == 1 && c != '\n') ++begin;
        if (begin < end) ++begin;
        if (found.messages.size() >= found.maxMessages) tooMany(found, path);
        found.messages.push_back({fileIndex, begin, end - begin});
    }
}

void addFile(StoredMessages& found, const fs::path& path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || status.type() != fs::file_type::regular) return;
    const std::uint64_t size = fs::file_size(path, error);
    if (error || size == 0) return;
    const std::string name = path.string();
    if (path.extension() != ".eml" && startsWithFromLine(name)) {
        addMbox(found, name, size);
        return;
    }
    if (found.messages.size() >= found.maxMessages) tooMany(found, name);
    found.messages.push_back({static_cast<std::uint32_t>(found.files.size()), 0, size});
    found.files.push_back(name);
}

void addFolder(StoredMessages& found, const fs::path& folder) {
    std::error_code error;
    std::vector<fs::path> names;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path());
    if (error) throw std::runtime_error(folder.string() + " cannot be read: " + error.message());
    // In name order, so a run over the same folder goes the same way.
    std::sort(names.begin(), names.end());
    for (const fs::path& name : names) addFile(found, name);
}

}  // namespace

StoredMessages findStoredMessages(const std::string& path, std::size_t maxMessages) {
    StoredMessages found;
    found.maxMessages = maxMessages;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || !fs::exists(status)) throw std::runtime_error(path + " does not exist.");
    if (fs::is_directory(status)) {
        const fs::path folder(path);
        const bool maildir = fs::is_directory(fs::symlink_status(folder / "cur", error)) ||
                             fs::is_directory(fs::symlink_status(folder / "new", error));
        if (maildir) {
            for (const char* part : {"cur", "new"})
                if (fs::is_directory(fs::symlink_status(folder / part, error))) addFolder(found, folder / part);
        } else {
            addFolder(found, folder);
        }
    } else {
        addFile(found, path);
    }
    if (found.messages.empty()) throw std::runtime_error("No messages were found in " + path + ".");
    return found;
}

std::string readStoredHeader(const StoredMessages& found, std::size_t index, std::size_t maxOctets) {
    const StoredMessages::Message& message = found.messages.at(index);
    const std::string& path = found.files.at(message.file);
    OpenFile file(path);
    std::string header;
    std::string chunk(kChunk, '\0');
    const std::uint64_t limit = std::min<std::uint64_t>(message.size, maxOctets);
    while (header.size() < limit) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, limit - header.size()));
        const std::size_t n = file.read(chunk.data(), want, message.offset + header.size(), path);
        if (n == 0) break;
        // A line end may have come in the chunk before.
        const std::size_t from = header.size() >= 2 ? header.size() - 2 : 0;
        header.append(chunk.data(), n);
        if (header.starts_with("\n") || header.starts_with("\r\n")) return {};
        // The header ends at the first empty line.
        for (std::size_t i = from; i + 1 < header.size(); ++i) {
            if (header[i] != '\n') continue;
            if (header[i + 1] == '\n' || (header[i + 1] == '\r' && i + 2 < header.size() && header[i + 2] == '\n')) {
                header.resize(i + 1);
                return header;
            }
        }
        if (n < want) break;
    }
    return header;
}

}  // namespace quorvel
