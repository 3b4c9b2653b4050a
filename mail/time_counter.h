#pragma once

#include <functional>
#include <memory>

#include "platform/timer.h"

namespace quorvel {

// Counts whole seconds of silence on a one-second timer; every network wait
// starts it before waiting and stops it afterwards.
class TTimeCounter {
public:
    // `onTimedOut` runs at the tick that uses up the last second, so a wait
    // blocked in the event loop can be woken.
    explicit TTimeCounter(TimerFactory& timers, std::function<void()> onTimedOut = {});

    int TimeOut = 60;  // seconds; 0 or less fails at the first tick

    // Restarts the count from TimeOut; the timed-out flag is left as it is.
    void Start();
    void Stop();
    bool TimedOut() const { return timedOut_; }
    void ClearTimedOut() { timedOut_ = false; }
    int SecondsLeft() const { return secondsLeft_; }

private:
    void tick();

    std::unique_ptr<Timer> timer_;
    std::function<void()> onTimedOut_;
    int secondsLeft_ = 0;
    bool timedOut_ = false;
};

}  // namespace quorvel
