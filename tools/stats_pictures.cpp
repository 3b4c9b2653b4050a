// Writes a realistic activity log (three mailboxes over half a year, checks
// through the day, spam from a few dozen senders) and pictures of the eight
// pages of the statistics window drawn from it, for the documentation.
// Usage: stats_pictures LOG FOLDER
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "log/activity_log.h"
#include "log/frm_chart.h"
#include "ui/chart_window.h"
#include "ui/headless_platform.h"

namespace {

using namespace quorvel;

const TDateTime kNow = encodeDateTime({2026, 12, 10, 17, 0, 0, 0});

// The toolkit's locale, at a fixed moment, so the pictures do not change
// with the day they are taken.
class FixedQtClock : public ui::QtClock {
public:
    TDateTime now() const override { return kNow; }
};

class Random {
public:
    double uniform() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state_ >> 11) / 9007199254740992.0;
    }
    int poisson(double mean) {
        const double limit = std::exp(-mean);
        int k = 0;
        for (double p = uniform(); p > limit; p *= uniform()) ++k;
        return k;
    }

private:
    unsigned long long state_ = 20261210;
};

struct Mailbox {
    const char* user;
    const char* server;
    double everyMinutes;  // between checks while the owner is up
    double mailPerHour;
    double spamShare;
};

std::string generate(const FormatSettings& fs) {
    const Mailbox mailboxes[] = {{"ann.morgan", "pop.example.com", 25, 2.2, 0.45},
                                 {"joe", "mail.example.org", 70, 1.4, 0.30},
                                 {"family", "pop3.isp.example.net", 180, 0.8, 0.55}};
    const char* senders[] = {"deals@cheap-pills.example",   "win@lottery-now.example",   "offers@cheap-pills.example",
                             "info@crypto-riches.example",  "sales@replica-watch.example", "noreply@lottery-now.example",
                             "news@weight-loss.example",    "team@crypto-riches.example", "promo@casino-royal.example",
                             "support@fake-bank.example",   "admin@fake-bank.example",    "hello@dating-site.example",
                             "best@replica-watch.example",  "vip@casino-royal.example",   "prize@lottery-now.example",
                             "undisclosed-recipients",      "mailer@bulk-mail.example",   "contact@seo-boost.example"};
    constexpr int kSenders = static_cast<int>(std::size(senders));
    Random random;
    std::string log;
    const TDateTime first = encodeDateTime({2026, 6, 1});
    for (TDateTime day = first; day < std::floor(kNow); day += 1) {
        const int weekday = dayOfWeek(day);  // 1 Sunday
        const bool weekend = weekday == 1 || weekday == 7;
        for (const Mailbox& m : mailboxes) {
            // Up from 7 (9 at weekends) to half past eleven.
            double minute = (weekend ? 9 * 60 : 7 * 60) + random.uniform() * 30;
            double last = minute;
            while (minute < 23.5 * 60) {
                const TDateTime at = day + minute / 1440;
                const double hour = minute / 60;
                const double busy = (hour >= 8 && hour < 10) || (hour >= 19 && hour < 22) ? 1.8 : 1.0;
                const int count = random.poisson(m.mailPerHour * busy * (minute - last) / 60 * (weekend ? 0.6 : 1.0));
                const std::string stamp = formatDateTime("ddd ddddd t", at, fs);
                if (random.uniform() < 0.01) {
                    log += errorRecord("Operation timed out", m.user, m.server, stamp);
                } else {
                    log += mailCheckRecord(count, m.user, m.server, stamp);
                    for (int i = 0; i < count; ++i) {
                        if (random.uniform() > m.spamShare) continue;
                        // A few senders send most of the spam.
                        const int s = std::min(kSenders - 1, static_cast<int>(std::pow(random.uniform(), 2.2) * kSenders));
                        const DeletedSpamRow row{"Special offer", senders[s], std::to_string(1500 + random.poisson(40) * 300),
                                                 formatDateTime("ddddd", at - 0.2, fs)};
                        log += deletedSpamRecord(row, m.server, m.user, formatDateTime("ddd ddddd t", at + 1.0 / 1440, fs));
                    }
                }
                last = minute;
                minute += m.everyMinutes * (0.6 + random.uniform() * 0.8);
            }
        }
    }
    return log;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s LOG FOLDER\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    FixedQtClock clock;
    clock.formatSettings().shortDateFormat = "M/d/yyyy";  // as widened at start-up
    ui::HeadlessPlatform headless(clock);
    Platform& platform = headless.platform;

    std::ofstream(argv[1], std::ios::binary) << generate(clock.formatSettings());
    TfrmChart chart(platform);
    if (!readInLogFile(argv[1], chart.entries, platform.dialogs, clock)) return 1;
    chart.entriesRead();
    chart.FormShow();
    chart.Redraw();
    ui::ChartWindow window(chart, nullptr);
    window.resize(960, 640);
    window.show();
    QApplication::processEvents();
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    for (int page = 0; page < window.pages()->count(); ++page) {
        window.pages()->setCurrentIndex(page);
        QApplication::processEvents();
        const QString name = QString("statistics-%1.png").arg(page + 1);
        if (!window.grab().save(folder.filePath(name))) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(folder.filePath(name)));
            return 1;
        }
    }
    std::printf("%zu mail checks, %zu deleted\n", chart.entries.mailChecks.size(), chart.entries.deletedSpam.size());
    return 0;
}
