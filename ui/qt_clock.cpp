#include "ui/qt_clock.h"

#include <QDateTime>
#include <QLocale>

namespace quorvel::ui {

std::string toProgramFormat(const QString& qtFormat) {
    std::string out;
    const QString f = qtFormat;
    for (qsizetype i = 0; i < f.size(); ++i) {
        const QChar c = f[i];
        if (c == '\'') {
            const qsizetype end = f.indexOf('\'', i + 1);
            const qsizetype stop = end < 0 ? f.size() : end;
            out += "\"" + f.mid(i + 1, stop - i - 1).toStdString() + "\"";
            i = stop;
        } else if (c == 'M') {
            out += 'm';
        } else if (c == 'm') {
            out += 'n';
        } else if (c == 'H') {
            out += 'h';
        } else if (c == 'A' || c == 'a') {
            if (i + 1 < f.size() && (f[i + 1] == 'P' || f[i + 1] == 'p')) ++i;
            out += "ampm";
        } else if (c == 't') {
            // The time zone has no place in the program's times.
            while (!out.empty() && out.back() == ' ') out.pop_back();
        } else {
            out += c.toLatin1() ? c.toLatin1() : '?';
        }
    }
    return out;
}

QtClock::QtClock() {
    QLocale locale = QLocale::system();
    // "C" gives "d MMM yyyy", whose spaces would break the log's layout.
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    settings_ = FormatSettings::unitedStates();
    settings_.shortDateFormat = toProgramFormat(locale.dateFormat(QLocale::ShortFormat));
    settings_.longDateFormat = toProgramFormat(locale.dateFormat(QLocale::LongFormat));
    settings_.shortTimeFormat = toProgramFormat(locale.timeFormat(QLocale::ShortFormat));
    settings_.longTimeFormat = toProgramFormat(locale.timeFormat(QLocale::LongFormat));
    settings_.timeAMString = locale.amText().toStdString();
    settings_.timePMString = locale.pmText().toStdString();
    for (int day = 1; day <= 7; ++day) {  // the toolkit counts from Monday
        const std::size_t index = static_cast<std::size_t>(day % 7);
        settings_.shortDayNames[index] = locale.dayName(day, QLocale::ShortFormat).toStdString();
        settings_.longDayNames[index] = locale.dayName(day, QLocale::LongFormat).toStdString();
    }
    for (int month = 1; month <= 12; ++month) {
        settings_.shortMonthNames[static_cast<std::size_t>(month - 1)] =
            locale.monthName(month, QLocale::ShortFormat).toStdString();
        settings_.longMonthNames[static_cast<std::size_t>(month - 1)] =
            locale.monthName(month, QLocale::LongFormat).toStdString();
    }
}

TDateTime QtClock::now() const {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return encodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()});
}

}  // namespace quorvel::ui
