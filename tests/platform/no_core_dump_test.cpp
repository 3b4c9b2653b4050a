#include "platform/no_core_dump.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

// In a child, so the test program itself keeps its settings: after the call
// the process is not dumpable, its core limit is 0, and an abort leaves no core.
TEST(NoCoreDump, AnAbortAfterwardsWritesNoCore) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As a user's shell may have it: cores allowed.
        rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_CORE, &unlimited);
        if (!disableCoreDumps()) _exit(10);
        if (prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0) _exit(11);
        rlimit now{};
        if (getrlimit(RLIMIT_CORE, &now) != 0 || now.rlim_cur != 0 || now.rlim_max != 0) _exit(12);
        signal(SIGABRT, SIG_DFL);
        abort();
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_FALSE(WCOREDUMP(status));
}

}  // namespace
}  // namespace quorvel
