#include <QTest>

#include "ui/qt_platform.h"

// The alarm's player is a module loaded on first use; the program must find
// it beside itself or where the build put it.
class SoundTest : public QObject {
    Q_OBJECT

private slots:
    void theFirstAlarmLoadsThePlayer() {
        quorvel::ui::QtSound sound;
        QVERIFY(!sound.loaded());
        sound.play(std::string(QUORVEL_DATA) + "/harptune.wav", false);
        QVERIFY(sound.loaded());
        sound.stop();
    }
};

QTEST_MAIN(SoundTest)
#include "sound_test.moc"
