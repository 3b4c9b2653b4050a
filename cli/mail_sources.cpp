#include "cli/mail_sources.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace quorvel::cli {
namespace {

namespace fs = std::filesystem;

// Lines longer than this are cut: only the start of a header line matters,
// and a body line of a gigabyte must not be held whole.
constexpr std::size_t kMaxLineOctets = 64 << 10;

bool looksLikeField(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    return std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char c) { return static_cast<unsigned char>(c) > 32 && static_cast<unsigned char>(c) < 127; });
}

// Reads a file line by line, each line without its end and cut at the
// bound; `line` returns false to stop.
template <typename Line>
bool eachLine(std::ifstream& in, Line&& line) {
    std::vector<char> buffer(1 << 16);
    std::string current;
    bool cut = false;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        std::size_t start = 0;
        while (start < got) {
            const char* nl = static_cast<const char*>(std::memchr(buffer.data() + start, '\n', got - start));
            const std::size_t end = nl ? static_cast<std::size_t>(nl - buffer.data()) : got;
            if (!cut) {
                const std::size_t room = kMaxLineOctets - current.size();
                current.append(buffer.data() + start, std::min(room, end - start));
                if (end - start > room) cut = true;
            }
            if (!nl) break;
            if (!current.empty() && current.back() == '\r') current.pop_back();
            if (!line(current, end - start + 1)) return false;
            current.clear();
            cut = false;
            start = end + 1;
        }
    }
    if (!current.empty()) return line(current, current.size());
    return true;
}

std::string why(const std::string& path, const std::string& reason) { return path + ": " + reason; }

}  // namespace

void MailSources::read(const std::string& path) const {
    std::error_code error;
    // What the user named is followed, a link too.
    const fs::file_status status = fs::status(path, error);
    if (error) {
        skipped(why(path, error.message()));
        return;
    }
    if (fs::is_directory(status))
        readFolder(path);
    else if (fs::is_regular_file(status))
        readFile(path, true);
    else
        skipped(why(path, "neither a file nor a folder"));
}

void MailSources::readFolder(const std::string& path) const {
    std::error_code error;
    std::vector<std::string> folders;
    for (const char* part : {"cur", "new"}) {
        const fs::path sub = fs::path(path) / part;
        if (fs::is_directory(fs::symlink_status(sub, error))) folders.push_back(sub.string());
    }
    // A maildir's messages are in cur/ and new/; otherwise the folder's own files.
    if (folders.empty()) folders.push_back(path);
    for (const auto& folder : folders) {
        std::vector<std::string> files;
        fs::directory_iterator it(folder, error), end;
        if (error) {
            skipped(why(folder, error.message()));
            continue;
        }
        for (; it != end; it.increment(error)) {
            if (error) break;
            const std::string name = it->path().filename().string();
            if (name.empty() || name[0] == '.') continue;
            // No links and no deeper folders: only what the folder itself holds.
            if (it->symlink_status(error).type() != fs::file_type::regular) continue;
            files.push_back(it->path().string());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) readFile(file, false);
    }
}

void MailSources::readFile(const std::string& path, bool named) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        skipped(why(path, std::strerror(errno)));
        return;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        skipped(why(path, std::strerror(errno)));
        return;
    }
    char first[5] = {};
    in.read(first, 5);
    if (in.gcount() == 5 && std::string_view(first, 5) == "From ") {
        // An mbox file is only taken when named; in a folder it is one message.
        if (named) {
            if (size > kMaxMboxOctets) {
                skipped(why(path, "larger than " + std::to_string(kMaxMboxOctets >> 30) + " GB, passed over"));
                return;
            }
            readMbox(path, size);
            return;
        }
    }
    if (size > kMaxMessageFileOctets) {
        skipped(why(path, "larger than " + std::to_string(kMaxMessageFileOctets >> 20) + " MB, passed over"));
        return;
    }
    in.clear();
    in.seekg(0);
    TmsHeaders headers;
    std::size_t octets = 0;
    bool first_ = true;
    eachLine(in, [&](const std::string& line, std::size_t) {
        if (first_ && line.rfind("From ", 0) == 0) {  // the separator of a message saved from an mbox
            first_ = false;
            return true;
        }
        first_ = false;
        if (line.empty() || octets + line.size() > kMaxHeaderOctets) return false;
        octets += line.size();
        headers.push_back(line);
        return true;
    });
    if (headers.empty() || !looksLikeField(headers.front())) {
        skipped(why(path, "not a mail message"));
        return;
    }
    message(headers, size);
}

void MailSources::readMbox(const std::string& path, std::uint64_t) const {
    std::ifstream in(path, std::ios::binary);
    TmsHeaders headers;
    std::size_t octets = 0;
    std::uint64_t size = 0;
    bool inMessage = false, inHeader = false, afterBlank = true;
    const auto finish = [&] {
        if (inMessage && !headers.empty() && looksLikeField(headers.front())) message(headers, size);
        headers.clear();
        octets = 0;
        size = 0;
    };
    eachLine(in, [&](const std::string& line, std::size_t length) {
        if (afterBlank && line.rfind("From ", 0) == 0) {
            finish();
            inMessage = inHeader = true;
            afterBlank = false;
            return true;
        }
        afterBlank = line.empty();
        size += length;
        if (!inHeader) return true;
        if (line.empty() || octets + line.size() > kMaxHeaderOctets) {
            inHeader = false;
            return true;
        }
        octets += line.size();
        headers.push_back(line);
        return true;
    });
    finish();
}

}  // namespace quorvel::cli
