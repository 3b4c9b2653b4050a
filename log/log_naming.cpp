#include "log/log_naming.h"

#include "config/frm_general.h"
#include "platform/date_time.h"

namespace quorvel {

namespace {

// Everything up to and including the last separator; empty without one.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

std::string monthlyLogName(TDateTime date, const FormatSettings& settings) {
    return formatDateTime("mmmyy", date, settings) + ".txt";
}

std::string quarterlyLogName(TDateTime date, const FormatSettings& settings) {
    const int quarter = (decodeDateTime(date).month - 1) / 3 + 1;
    return "Q" + std::to_string(quarter) + "_" + formatDateTime("yy", date, settings) + ".txt";
}

std::string logPathForRule(const std::string& path, LogNamingRule rule, TDateTime date,
                           const FormatSettings& settings) {
    switch (rule) {
    case LogNamingRule::Month:
        return folderOf(path) + monthlyLogName(date, settings);
    case LogNamingRule::Quarter:
        return folderOf(path) + quarterlyLogName(date, settings);
    case LogNamingRule::AsIs:
        break;
    }
    return path;
}

void applyLogNamingRule(TfrmGeneral& window, Clock& clock) {
    const TDateTime today = clock.now();
    std::string& path = window.Edit1.text;
    if (window.rbMonth.checked) path = logPathForRule(path, LogNamingRule::Month, today, clock.formatSettings());
    if (window.rbQuarter.checked)
        path = logPathForRule(path, LogNamingRule::Quarter, today, clock.formatSettings());
}

}  // namespace quorvel
