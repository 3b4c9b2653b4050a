#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "config/frm_general.h"
#include "platform/platform.h"

namespace quorvel {

// A failed file operation, with the text the user sees ("File access denied",
// "Disk full", ...). `code` is the system's error number.
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& message, int code) : std::runtime_error(message), code(code) {}
    int code;
};

// The user's message for a system error number.
EInOutError inOutError(int errorNumber);

// How the sixth line of a deleted-spam record begins, when it has one.
inline constexpr const char* kReasonLine = "   Reason:  ";

// The Subject, Sender, Size and Date column texts of a deleted message's row.
struct DeletedSpamRow {
    std::string subject;
    std::string sender;
    std::string size;
    std::string date;
    // Why the learned judge took it for spam; empty when it did not. Written
    // as a sixth line, which the log reader passes over.
    std::string reason = {};
};

// The records as they stand in the file, CR LF included. `timestamp` is the
// local time formatted "ddd ddddd t". Control characters inside a field
// (line breaks, escape sequences) become spaces: a subject from a stranger's
// message must not add records of its own nor act on a terminal showing the log.
std::string mailCheckRecord(int count, const std::string& user, const std::string& server,
                            const std::string& timestamp);
std::string errorRecord(const std::string& message, const std::string& user, const std::string& server,
                        const std::string& timestamp);
std::string cancelRecord(const std::string& user, const std::string& server, const std::string& timestamp);
std::string automaticModeRecord(bool enabled, const std::string& timestamp);
std::string alarmNotHeardRecord(const std::string& problem, const std::string& timestamp);
// A mailbox without a security choice that a log-in set to STARTTLS.
std::string securityChosenRecord(const std::string& user, const std::string& server, const std::string& timestamp);
// What happened to the learned model's file (set aside, not saved).
std::string learningRecord(const std::string& text, const std::string& timestamp);
std::string deletedSpamRecord(const DeletedSpamRow& row, const std::string& server, const std::string& user,
                              const std::string& timestamp);

// Blank: empty, or only spaces, carriage returns, line feeds and backspaces.
bool isBlankLogPath(const std::string& path);

// The activity log: one append-only text file of one- and five-line records.
// One instance serves the whole program; between records the file is closed,
// except while a deletion run holds it open for its deleted-spam records.
class ActivityLog : public LogCommands {
public:
    // `logPath` answers the live log path (the general settings' log-file
    // field) at the moment it is needed.
    ActivityLog(Platform& platform, std::function<std::string()> logPath);
    ~ActivityLog() override;
    ActivityLog(const ActivityLog&) = delete;
    ActivityLog& operator=(const ActivityLog&) = delete;

    bool logOpen() const { return fd_ >= 0; }

    // Opens the file for appending (creating it, readable by the user only)
    // unless it is open already or the path is blank. Only a regular file the
    // user owns is written, never through a symbolic link. Throws EInOutError
    // when the file cannot be opened.
    void OpenLogFile();
    void CloseLogFile();

    // The current local time formatted "ddd ddddd t".
    std::string timestamp() const;

    // Each of these opens the log, appends its record and closes the log.
    void logMailCheck(int count, const std::string& user, const std::string& server);
    void logError(const std::string& message, const std::string& user, const std::string& server);
    void logCancel(const std::string& user, const std::string& server) override;
    void logAutomaticMode(bool enabled);
    void logAlarmNotHeard(const std::string& problem);
    void logSecurityChosen(const std::string& user, const std::string& server);
    void logLearning(const std::string& text);
    // Written only while the log is open: the deletion run opens it before its
    // first deletion and closes it after the last.
    void logDeletedSpam(const DeletedSpamRow& row, const std::string& server, const std::string& user);

    // Opens the log file with the desktop's program for it.
    void viewLogFile() override;
    // Deletes the log file after the user confirms.
    void clearLogFile() override;
    // Renames the settings window's log-file field after its naming rule.
    void applyNamingRule(TfrmGeneral& window) override;

private:
    void writeOpenedAndClose(const std::string& record);
    void write(const std::string& record);

    Platform& platform_;
    std::function<std::string()> logPath_;
    int fd_ = -1;
};

}  // namespace quorvel
