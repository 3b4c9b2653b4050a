#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/event_pump.h"
#include "platform/timer.h"

namespace quorvel {

// An event pump and timers on poll(), for programs and tests without a window
// system. Timers fire inside wait() and processEvents(), as the toolkit's do.
class PollEventLoop : public EventPump, public TimerFactory {
public:
    PollEventLoop();
    ~PollEventLoop() override;

    WaitResult wait(int fd, unsigned interest, std::chrono::milliseconds timeout) override;
    void processEvents() override;
    void wake() override;

    std::unique_ptr<Timer> createTimer(std::function<void()> onTimer) override;

    // Called once for every turn of the loop inside wait(): tests use it to act
    // as the user would while a network call waits (e.g. cancel after N turns).
    std::function<void()> onEachTurn;

private:
    class PollTimer;
    using Clock = std::chrono::steady_clock;

    void fireDueTimers();
    Clock::time_point nextTimerDue() const;

    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> woken_{false};
    std::vector<PollTimer*> timers_;
};

}  // namespace quorvel
