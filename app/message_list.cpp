#include "app/message_list.h"

#include <algorithm>

#include "mail/headers.h"

namespace quorvel {

namespace {

// The decoded value of a field; nothing when its encoded words are broken.
bool readField(const TmsHeaders& headers, const char* name, std::string& value) {
    try {
        GetFieldValue(headers, name, value);
        return true;
    } catch (const EMessageParserError&) {
        value.clear();
        return false;
    }
}

}  // namespace

int MessageList::selectedCount() const {
    return static_cast<int>(std::count_if(rows.begin(), rows.end(), [](const MessageRow& row) { return row.selected; }));
}

int MessageList::markedCount() const {
    return static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [](const MessageRow& row) { return isMarkedForDeletion(row.stateIndex); }));
}

std::string dateColumnText(const std::string& dateField, const FormatSettings& settings) {
    TDateTime when = 0;
    std::string zone;
    // Mail dates always separate the time with colons, whatever the locale.
    ParseDate(dateField, when, zone);
    if (when == 0) return dateField;
    // "c" leaves the time out when it is exactly midnight.
    return formatDateTime("c", when, settings);
}

MessageRow messageRowFromRecord(const TmsRemoteInfoItem& record, const FormatSettings& settings) {
    MessageRow row;
    row.subjectUndecodable = !readField(record.Headers, "Subject", row.caption);
    std::string from, name;
    row.senderUndecodable = !readField(record.Headers, "From", from);
    SplitAddress(from, row.sender, name);
    row.shownCaption = FieldText(record.Headers, "Subject");
    SplitAddress(FieldText(record.Headers, "From"), row.shownSender, name);
    row.size = std::to_string(record.Size);
    std::string date;
    readField(record.Headers, "Date", date);
    row.date = dateColumnText(date, settings);
    return row;
}

}  // namespace quorvel
