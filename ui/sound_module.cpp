// The sound player, built as a module of its own: the multimedia libraries
// it needs are loaded on the first alarm, not at every start of the program.
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include "platform/desktop.h"

namespace {

class EffectSound : public quorvel::Sound {
public:
    void play(const std::string& path, bool loop) override {
        // Without an output the effect plays to nothing and reports no error.
        problem_ = QMediaDevices::defaultAudioOutput().isNull() ? "no audio device" : "";
        effect_.stop();
        effect_.setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())));
        effect_.setLoopCount(loop ? QSoundEffect::Infinite : 1);
        effect_.play();
    }
    void stop() override { effect_.stop(); }
    void beep() override {}
    std::string problem() const override { return problem_; }

private:
    std::string problem_;
    QSoundEffect effect_;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) quorvel::Sound* quorvelCreateSound() {
    return new EffectSound;
}
