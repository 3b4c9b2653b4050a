#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mail/remote_info.h"
#include "platform/date_time.h"

namespace quorvel {

// Marks of a message row; the value is also the index of the row's picture.
namespace Mark {
constexpr int None = -1;
constexpr int Delete = 0;
constexpr int Question = 1;
constexpr int KnownSpammer = 2;
constexpr int FirstException = 3;
constexpr int LastException = 14;
}  // namespace Mark

// Marks 0 and 2 are deleted; the question and exception marks are not.
inline bool isMarkedForDeletion(int mark) { return mark == Mark::Delete || mark == Mark::KnownSpammer; }

// One row of the message list. Row i belongs to record i of the POP3 client
// and to message i+1 on the server; nothing else ties them together.
struct MessageRow {
    std::string caption;  // Subject
    std::string sender;   // the bare address of From
    std::string size;     // octets, decimal
    std::string date;
    int stateIndex = Mark::None;
    bool selected = false;
    // A Subject or From field whose encoded words cannot be decoded shows as
    // empty; the checks that read it then do not match this row.
    bool subjectUndecodable = false;
    bool senderUndecodable = false;
    // Caption and sender as the user is shown them, in UTF-8: each encoded
    // word decoded in its own character set. The checks read the octets of
    // caption and sender as they are.
    std::string shownCaption;
    std::string shownSender;
    // What is shown: the shown texts, or caption and sender for a row made
    // without them.
    const std::string& subjectShown() const { return shownCaption.empty() ? caption : shownCaption; }
    const std::string& senderShown() const { return shownSender.empty() ? sender : shownSender; }
};

struct MessageList {
    static constexpr const char* kColumns[] = {"Subject", "Sender", "Size", "Date"};
    // Rows are appended, their marks and selection change, and the list is
    // emptied with clear(): a row's texts never change in place.
    std::vector<MessageRow> rows;
    // Moves on every clear(), so a view knows its rows are gone even when as
    // many new ones came meanwhile.
    std::uint64_t generation = 0;

    void clear() {
        rows.clear();
        ++generation;
    }

    int selectedCount() const;
    // Rows marked 0 or 2.
    int markedCount() const;
};

// The Date column: the short date, a space and the long time, without the
// time at exactly midnight; the field's value as received when it does not
// convert to a date.
std::string dateColumnText(const std::string& dateField, const FormatSettings& settings);

// The row of one listed message, unmarked.
MessageRow messageRowFromRecord(const TmsRemoteInfoItem& record, const FormatSettings& settings);

}  // namespace quorvel
