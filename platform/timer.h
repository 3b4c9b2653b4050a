#pragma once

#include <functional>
#include <memory>

namespace quorvel {

// A periodic timer as the program's windows use them: an interval and an
// on/off switch. It fires on the program's thread until switched off.
class Timer {
public:
    virtual ~Timer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual bool enabled() const = 0;
};

class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> onTimer) = 0;
};

}  // namespace quorvel
