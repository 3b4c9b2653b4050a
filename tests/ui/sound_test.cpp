#include <QTest>

#include "ui/qt_platform.h"

// The alarm's player is a module loaded on first use; the program must find
// it beside itself or where the build put it.
class SoundTest : public QObject {
    Q_OBJECT

private slots:
    // Only the module is loaded: playing needs an audio device, which test
    // machines lack and where the toolkit may wait for one.
    void thePlayerModuleIsFound() { QVERIFY(quorvel::ui::QtSound::findPlayerModule() != nullptr); }
};

QTEST_MAIN(SoundTest)
#include "sound_test.moc"
