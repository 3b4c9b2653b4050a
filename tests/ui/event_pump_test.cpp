#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <thread>

#include "ui/qt_platform.h"

using namespace quorvel;
using namespace std::chrono_literals;

class EventPumpTest : public QObject {
    Q_OBJECT

private slots:
    void endsOnReadinessTimeOutAndWake() {
        ui::QtEventPump pump;
        int fds[2];
        QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        QCOMPARE(pump.wait(fds[0], EventPump::Readable, 30ms), EventPump::WaitResult::TimedOut);
        QCOMPARE(pump.wait(fds[0], EventPump::Writable, 1s), EventPump::WaitResult::Ready);
        QCOMPARE(write(fds[1], "x", 1), 1);
        QCOMPARE(pump.wait(fds[0], EventPump::Readable, 1s), EventPump::WaitResult::Ready);

        std::thread waker([&] {
            std::this_thread::sleep_for(30ms);
            pump.wake();  // from another thread, as a finished host look-up does
        });
        QCOMPARE(pump.wait(-1, 0, 10s), EventPump::WaitResult::Woken);
        waker.join();
        close(fds[0]);
        close(fds[1]);
    }

    void userEventsRunInsideAWaitAndCanEndIt() {
        ui::QtEventPump pump;
        ui::QtTimers timers;
        int ticks = 0;
        auto timer = timers.createTimer([&] {
            if (++ticks == 2) pump.wake();  // a Cancel clicked during the wait
        });
        timer->setInterval(10);
        timer->setEnabled(true);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(pump.wait(-1, 0, 10s), EventPump::WaitResult::Woken);
        QCOMPARE(ticks, 2);
        QVERIFY(clock.elapsed() < 5000);
    }

    void nestedWaitsEachEndOnTheirOwn() {
        ui::QtEventPump pump;
        EventPump::WaitResult inner = EventPump::WaitResult::Ready;
        QTimer::singleShot(10, [&] {
            inner = pump.wait(-1, 0, 20ms);  // a handler that waits inside a wait
            pump.wake();
        });
        QCOMPARE(pump.wait(-1, 0, 10s), EventPump::WaitResult::Woken);
        QCOMPARE(inner, EventPump::WaitResult::TimedOut);
    }

    void aSocketThatKeepsAnsweringStillLetsTheEventsRun() {
        ui::QtEventPump pump;
        int fds[2];
        QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        QCOMPARE(write(fds[1], "x", 1), 1);  // readable at every wait from now on
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(5);
        QElapsedTimer clock;
        clock.start();
        int waits = 0;
        while (clock.elapsed() < 300) {
            QCOMPARE(pump.wait(fds[0], EventPump::Readable, 1s), EventPump::WaitResult::Ready);
            ++waits;
        }
        QVERIFY(waits > 100);
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));  // about one per frame
        close(fds[0]);
        close(fds[1]);
    }

    void aWakeEndsAWaitThatRunsNoEventsAndIsNeverLost() {
        ui::QtEventPump pump;
        int fds[2];
        QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        pump.processEvents();  // the events just ran: the next wait polls the socket alone
        std::thread waker([&] {
            std::this_thread::sleep_for(5ms);
            pump.wake();
        });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(pump.wait(fds[0], EventPump::Readable, 10s), EventPump::WaitResult::Woken);
        QVERIFY(clock.elapsed() < 5000);
        waker.join();

        // A wake between waits ends the next one, even on a ready socket.
        QCOMPARE(write(fds[1], "x", 1), 1);
        pump.processEvents();
        pump.wake();
        QCOMPARE(pump.wait(fds[0], EventPump::Readable, 1s), EventPump::WaitResult::Woken);
        QCOMPARE(pump.wait(fds[0], EventPump::Readable, 1s), EventPump::WaitResult::Ready);
        // A socket that stays silent past the frame still times out on time.
        char drain;
        QCOMPARE(read(fds[0], &drain, 1), 1);
        pump.processEvents();
        clock.restart();
        QCOMPARE(pump.wait(fds[0], EventPump::Readable, 100ms), EventPump::WaitResult::TimedOut);
        QVERIFY(clock.elapsed() >= 90);
        close(fds[0]);
        close(fds[1]);
    }

    void theLocaleBecomesTheProgramsFormats() {
        QCOMPARE(ui::toProgramFormat("M/d/yy"), std::string("m/d/yy"));
        QCOMPARE(ui::toProgramFormat("h:mm AP"), std::string("h:nn ampm"));
        QCOMPARE(ui::toProgramFormat("h:mm:ss AP t"), std::string("h:nn:ss ampm"));
        QCOMPARE(ui::toProgramFormat("HH:mm"), std::string("hh:nn"));
        QCOMPARE(ui::toProgramFormat("dd.MM.yyyy 'at'"), std::string("dd.mm.yyyy \"at\""));
        // The "C" locale reads as United States English.
        QLocale::setDefault(QLocale::c());
        ui::QtClock clock;
        QCOMPARE(formatDateTime("ddddd", encodeDateTime({2026, 1, 2}), clock.formatSettings()).find(' '),
                 std::string::npos);
    }
};

QTEST_MAIN(EventPumpTest)
#include "event_pump_test.moc"
