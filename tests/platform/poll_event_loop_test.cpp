#include "platform/poll_event_loop.h"

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

struct SocketPair {
    int fds[2];
    SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    ~SocketPair() {
        close(fds[0]);
        close(fds[1]);
    }
};

TEST(PollEventLoop, EndsAWaitOnReadinessTimeOutOrWake) {
    PollEventLoop loop;
    SocketPair pair;
    EXPECT_EQ(loop.wait(pair.fds[0], EventPump::Readable, 20ms), EventPump::WaitResult::TimedOut);
    EXPECT_EQ(loop.wait(pair.fds[0], EventPump::Writable, 1s), EventPump::WaitResult::Ready);
    ASSERT_EQ(write(pair.fds[1], "x", 1), 1);
    EXPECT_EQ(loop.wait(pair.fds[0], EventPump::Readable, 1s), EventPump::WaitResult::Ready);

    std::thread waker([&] {
        std::this_thread::sleep_for(20ms);
        loop.wake();
    });
    EXPECT_EQ(loop.wait(-1, 0, 10s), EventPump::WaitResult::Woken);
    waker.join();
    loop.wake();  // a wake with no wait in progress ends the next one
    EXPECT_EQ(loop.wait(-1, 0, 10s), EventPump::WaitResult::Woken);
}

TEST(PollEventLoop, TimersFireInsideAWaitAndCanEndIt) {
    PollEventLoop loop;
    int ticks = 0;
    auto timer = loop.createTimer([&] {
        if (++ticks == 3) loop.wake();
    });
    timer->setInterval(5);
    timer->setEnabled(true);
    EXPECT_EQ(loop.wait(-1, 0, 10s), EventPump::WaitResult::Woken);
    EXPECT_EQ(ticks, 3);

    timer->setEnabled(false);
    EXPECT_EQ(loop.wait(-1, 0, 30ms), EventPump::WaitResult::TimedOut);
    EXPECT_EQ(ticks, 3);
}

TEST(PollEventLoop, EachTurnHookRunsAsAUserWouldInsideTheWait) {
    PollEventLoop loop;
    int turns = 0;
    loop.onEachTurn = [&] {
        if (++turns == 2) loop.wake();
    };
    auto timer = loop.createTimer([] {});
    timer->setInterval(1);
    timer->setEnabled(true);
    EXPECT_EQ(loop.wait(-1, 0, 10s), EventPump::WaitResult::Woken);
    EXPECT_GE(turns, 2);
}

}  // namespace
}  // namespace quorvel
