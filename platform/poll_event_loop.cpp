#include "platform/poll_event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace quorvel {

class PollEventLoop::PollTimer : public Timer {
public:
    PollTimer(PollEventLoop& loop, std::function<void()> onTimer) : loop_(loop), onTimer_(std::move(onTimer)) {
        loop_.timers_.push_back(this);
    }
    ~PollTimer() override { std::erase(loop_.timers_, this); }

    void setInterval(int ms) override {
        interval_ = std::max(ms, 0);
        if (enabled_) due_ = Clock::now() + std::chrono::milliseconds(interval_);
    }
    int interval() const override { return interval_; }
    void setEnabled(bool on) override {
        if (on && !enabled_) due_ = Clock::now() + std::chrono::milliseconds(interval_);
        enabled_ = on;
    }
    bool enabled() const override { return enabled_; }

    bool isDue(Clock::time_point now) const { return enabled_ && interval_ > 0 && due_ <= now; }
    Clock::time_point due() const { return due_; }
    void fire() {
        due_ = Clock::now() + std::chrono::milliseconds(interval_);
        if (onTimer_) onTimer_();
    }
    bool running() const { return enabled_ && interval_ > 0; }

private:
    PollEventLoop& loop_;
    std::function<void()> onTimer_;
    int interval_ = 1000;
    bool enabled_ = false;
    Clock::time_point due_{};
};

PollEventLoop::PollEventLoop() {
    if (pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
}

PollEventLoop::~PollEventLoop() {
    close(wakePipe_[0]);
    close(wakePipe_[1]);
}

void PollEventLoop::wake() {
    woken_ = true;
    const char byte = 1;
    [[maybe_unused]] auto n = write(wakePipe_[1], &byte, 1);
}

std::unique_ptr<Timer> PollEventLoop::createTimer(std::function<void()> onTimer) {
    return std::make_unique<PollTimer>(*this, std::move(onTimer));
}

PollEventLoop::Clock::time_point PollEventLoop::nextTimerDue() const {
    auto next = Clock::time_point::max();
    for (const auto* t : timers_)
        if (t->running()) next = std::min(next, t->due());
    return next;
}

void PollEventLoop::fireDueTimers() {
    const auto now = Clock::now();
    // A handler may create or delete timers: pick the due ones first.
    std::vector<PollTimer*> due;
    for (auto* t : timers_)
        if (t->isDue(now)) due.push_back(t);
    for (auto* t : due)
        if (std::find(timers_.begin(), timers_.end(), t) != timers_.end() && t->isDue(now)) t->fire();
}

void PollEventLoop::processEvents() {
    fireDueTimers();
}

EventPump::WaitResult PollEventLoop::wait(int fd, unsigned interest, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (onEachTurn) onEachTurn();
        fireDueTimers();
        if (woken_.exchange(false)) {
            char drain[64];
            while (read(wakePipe_[0], drain, sizeof drain) > 0) {
            }
            return WaitResult::Woken;
        }
        const auto now = Clock::now();
        if (now >= deadline) return WaitResult::TimedOut;
        const auto until = std::min(deadline, nextTimerDue());
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(until - now, Clock::duration::zero()));

        pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {fd, 0, 0}};
        if (interest & Readable) fds[1].events |= POLLIN;
        if (interest & Writable) fds[1].events |= POLLOUT;
        const int n = poll(fds, fd >= 0 ? 2 : 1, static_cast<int>(std::min<long long>(ms.count(), 1 << 30)));
        if (n < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");
        if (n > 0 && fd >= 0 && fds[1].revents != 0) return WaitResult::Ready;
    }
}

}  // namespace quorvel
