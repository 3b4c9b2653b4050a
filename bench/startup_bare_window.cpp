// The floor for start-up: the same toolkit showing one empty main window,
// printing the time from launch to the shown window, then ending.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>
#include <QWindow>

#include "bench/startup_time.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    // About the size Quorvel's main window first takes (wide enough for its
    // whole toolbar), so both paint the same area.
    window.resize(995, 460);
    window.setWindowTitle("Bare");
    window.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.windowHandle() && window.windowHandle()->isExposed()) {
            poll.stop();
            printMillisecondsSinceLaunch(argc, argv);
            app.quit();
        }
    });
    poll.start(1);
    return app.exec();
}
