#include "mail/time_counter.h"

namespace quorvel {

TTimeCounter::TTimeCounter(TimerFactory& timers, std::function<void()> onTimedOut)
    : timer_(timers.createTimer([this] { tick(); })), onTimedOut_(std::move(onTimedOut)) {
    timer_->setInterval(1000);
    timer_->setEnabled(false);
}

void TTimeCounter::Start() {
    secondsLeft_ = TimeOut;
    // Switching off first restarts the second, so the count measures silence
    // from now and not from the timer's last tick.
    timer_->setEnabled(false);
    timer_->setEnabled(true);
}

void TTimeCounter::Stop() {
    timer_->setEnabled(false);
}

void TTimeCounter::tick() {
    --secondsLeft_;
    if (secondsLeft_ <= 0) {
        timedOut_ = true;
        if (onTimedOut_) onTimedOut_();
    }
}

}  // namespace quorvel
