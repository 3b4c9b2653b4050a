#include "log/activity_log.h"

#include "log/log_naming.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace quorvel {

namespace {

constexpr const char* kLineEnd = "\r\n";

bool isValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// A field as one line without control characters: a subject from a stranger's
// message must not add lines that the reader would take for records of their
// own, nor send a terminal that shows the log escape sequences. C0 and DEL
// become spaces; so does C1, as the code points U+0080 to U+009F in UTF-8
// text and as the octets 0x80 to 0x9F in any other.
std::string oneLine(const std::string& text) {
    const bool utf8 = isValidUtf8(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            out += ' ';
        } else if (utf8 && c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            out += ' ';
            ++i;
        } else if (!utf8 && c >= 0x80 && c < 0xA0) {
            out += ' ';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

EInOutError inOutError(int errorNumber) {
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
        return {"File not found", errorNumber};
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        return {"Invalid filename", errorNumber};
    case EMFILE:
    case ENFILE:
        return {"Too many open files", errorNumber};
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return {"File access denied", errorNumber};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {"Disk full", errorNumber};
    default:
        return {"I/O error " + std::to_string(errorNumber), errorNumber};
    }
}

std::string mailCheckRecord(int count, const std::string& user, const std::string& server,
                            const std::string& timestamp) {
    return "MAIL CHECK " + std::to_string(count) + " msg(s) for \"" + oneLine(user) + "\" on server " +
           oneLine(server) + " at " + oneLine(timestamp) + kLineEnd;
}

std::string errorRecord(const std::string& message, const std::string& user, const std::string& server,
                        const std::string& timestamp) {
    return "ERROR " + oneLine(message) + " FOR " + oneLine(user) + " ON " + oneLine(server) + " AT " +
           oneLine(timestamp) + kLineEnd;
}

std::string cancelRecord(const std::string& user, const std::string& server, const std::string& timestamp) {
    return "OPERATION CANCELED FOR " + oneLine(user) + " ON " + oneLine(server) + " AT " + oneLine(timestamp) +
           kLineEnd;
}

std::string automaticModeRecord(bool enabled, const std::string& timestamp) {
    return std::string("Automatic mode ") + (enabled ? "enabled" : "disabled") + " at " + oneLine(timestamp) +
           kLineEnd;
}

std::string alarmNotHeardRecord(const std::string& problem, const std::string& timestamp) {
    return "Alarm not heard at " + oneLine(timestamp) + ": " + oneLine(problem) + kLineEnd;
}

std::string securityChosenRecord(const std::string& user, const std::string& server, const std::string& timestamp) {
    return "SECURITY SET TO STARTTLS FOR " + oneLine(user) + " ON " + oneLine(server) + " AT " + oneLine(timestamp) +
           " (the server offers it)" + kLineEnd;
}

std::string learningRecord(const std::string& text, const std::string& timestamp) {
    return "LEARNING " + oneLine(text) + " AT " + oneLine(timestamp) + kLineEnd;
}

std::string deletedSpamRecord(const DeletedSpamRow& row, const std::string& server, const std::string& user,
                              const std::string& timestamp) {
    std::string record;
    record += "DELETE SPAM on " + oneLine(timestamp) + kLineEnd;
    record += "   Server:  " + oneLine(server) + " Mailbox: " + oneLine(user) + kLineEnd;
    record += "   Subject: " + oneLine(row.subject) + kLineEnd;
    record += "   Sender:  " + oneLine(row.sender) + kLineEnd;
    record += "   Size:    " + oneLine(row.size) + "  Date: " + oneLine(row.date) + kLineEnd;
    if (!row.reason.empty()) record += std::string(kReasonLine) + oneLine(row.reason) + kLineEnd;
    return record;
}

bool isBlankLogPath(const std::string& path) {
    for (char c : path)
        if (c != ' ' && c != '\r' && c != '\n' && c != '\b') return false;
    return true;
}

ActivityLog::ActivityLog(Platform& platform, std::function<std::string()> logPath)
    : platform_(platform), logPath_(std::move(logPath)) {}

ActivityLog::~ActivityLog() {
    if (fd_ >= 0) ::close(fd_);
}

void ActivityLog::OpenLogFile() {
    if (logOpen()) return;
    const std::string path = logPath_();
    if (isBlankLogPath(path)) return;
    // A link or a pipe named like the log would send records elsewhere (or
    // block the program): refuse them.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) throw inOutError(errno == ELOOP || errno == ENXIO ? EACCES : errno);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        ::close(fd);
        throw inOutError(EACCES);
    }
    fd_ = fd;
}

void ActivityLog::CloseLogFile() {
    if (!logOpen()) return;
    const int fd = fd_;
    fd_ = -1;  // closed whatever close() says: the descriptor is gone either way
    if (::close(fd) != 0 && errno != EINTR) throw inOutError(errno);
}

std::string ActivityLog::timestamp() const {
    Clock& clock = platform_.clock;
    return formatDateTime("ddd ddddd t", clock.now(), clock.formatSettings());
}

void ActivityLog::write(const std::string& record) {
    // One write per record, so a record is never interleaved with another
    // writer's and a full disk cuts at most the record being written.
    std::size_t done = 0;
    while (done < record.size()) {
        const ssize_t n = ::write(fd_, record.data() + done, record.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd_);
            fd_ = -1;
            throw inOutError(err);
        }
        done += static_cast<std::size_t>(n);
    }
}

void ActivityLog::writeOpenedAndClose(const std::string& record) {
    OpenLogFile();
    if (!logOpen()) return;
    write(record);
    CloseLogFile();
}

void ActivityLog::logMailCheck(int count, const std::string& user, const std::string& server) {
    writeOpenedAndClose(mailCheckRecord(count, user, server, timestamp()));
}

void ActivityLog::logError(const std::string& message, const std::string& user, const std::string& server) {
    writeOpenedAndClose(errorRecord(message, user, server, timestamp()));
}

void ActivityLog::logCancel(const std::string& user, const std::string& server) {
    writeOpenedAndClose(cancelRecord(user, server, timestamp()));
}

void ActivityLog::logAutomaticMode(bool enabled) {
    writeOpenedAndClose(automaticModeRecord(enabled, timestamp()));
}

void ActivityLog::logAlarmNotHeard(const std::string& problem) {
    writeOpenedAndClose(alarmNotHeardRecord(problem, timestamp()));
}

void ActivityLog::logSecurityChosen(const std::string& user, const std::string& server) {
    writeOpenedAndClose(securityChosenRecord(user, server, timestamp()));
}

void ActivityLog::logLearning(const std::string& text) {
    writeOpenedAndClose(learningRecord(text, timestamp()));
}

void ActivityLog::logDeletedSpam(const DeletedSpamRow& row, const std::string& server, const std::string& user) {
    if (!logOpen()) return;
    write(deletedSpamRecord(row, server, user, timestamp()));
}

void ActivityLog::viewLogFile() {
    const std::string path = logPath_();
    // The file is usually fine: what failed is said, so the user can act.
    if (!fileExists(path))
        platform_.dialogs.messageBox(MessageKind::Error,
                                     "Unable to open log file.  The file " + path +
                                         " does not exist yet: nothing has been logged to it.",
                                     MessageButtons::Ok);
    else if (!platform_.shell.open(path))
        platform_.dialogs.messageBox(MessageKind::Error,
                                     "Unable to open log file.  The desktop could not start a program to show " +
                                         path + "; open it with a text editor.",
                                     MessageButtons::Ok);
}

void ActivityLog::clearLogFile() {
    const ModalResult answer = platform_.dialogs.messageBox(
        MessageKind::Confirmation,
        "If you answer Yes, you will lose any statistics related to this log file. Really clear out log file?",
        MessageButtons::YesNo);
    if (answer != ModalResult::Yes) return;
    const std::string path = logPath_();
    if (!fileExists(path)) return;
    // An open handle would keep writing into the deleted file, and those
    // records would be lost: the next record starts the new file instead.
    CloseLogFile();
    if (::unlink(path.c_str()) != 0) throw inOutError(errno);
}

void ActivityLog::applyNamingRule(TfrmGeneral& window) {
    applyLogNamingRule(window, platform_.clock);
}

}  // namespace quorvel
