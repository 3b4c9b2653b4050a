#pragma once

#include <chrono>

namespace quorvel {

// The program runs on one thread. A network call that has to wait hands the
// wait to the event pump, which keeps the window's events (clicks, timer ticks,
// the client's own events) running until the socket is ready, the time is up,
// or a handler that ran inside the wait asked it to end.
class EventPump {
public:
    enum Interest : unsigned { Readable = 1, Writable = 2 };
    enum class WaitResult { Ready, TimedOut, Woken };

    virtual ~EventPump() = default;

    // Blocks until `fd` is ready for `interest`, `timeout` has passed, or
    // wake() was called, running pending events meanwhile. With fd < 0 only
    // the time-out and wake() end the wait. Costs no CPU while nothing happens.
    virtual WaitResult wait(int fd, unsigned interest, std::chrono::milliseconds timeout) = 0;

    // Runs the events that are already waiting, without blocking.
    virtual void processEvents() = 0;

    // Ends the wait in progress, or the next one if none is in progress.
    // Safe to call from another thread (a finished host look-up does).
    virtual void wake() = 0;
};

}  // namespace quorvel
