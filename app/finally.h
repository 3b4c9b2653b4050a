#pragma once

#include <functional>
#include <utility>

namespace quorvel {

// Steps of a command that must happen however it ends. The action must not throw.
class Finally {
public:
    explicit Finally(std::function<void()> action) : action_(std::move(action)) {}
    ~Finally() { action_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    std::function<void()> action_;
};

}  // namespace quorvel
