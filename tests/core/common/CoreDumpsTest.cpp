#include "core/common/CoreDumps.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs Forbid() in a child, so this process stays debuggable; the child's exit status tells
// what it saw: bit 0 dumpable afterwards, bit 1 core limit above 0.
int ForbidInChild(const char* allow)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (allow)
            ::setenv(CoreDumps::AllowVariable, allow, 1);
        else
            ::unsetenv(CoreDumps::AllowVariable);
        // Dumps on to start with, as a debugging shell would have them.
        rlimit some{};
        ::getrlimit(RLIMIT_CORE, &some);
        some.rlim_cur = some.rlim_max;
        ::setrlimit(RLIMIT_CORE, &some);
        ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
        CoreDumps::Forbid();
        rlimit after{};
        ::getrlimit(RLIMIT_CORE, &after);
        ::_exit((::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 1 ? 1 : 0) | (after.rlim_cur > 0 ? 2 : 0));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(CoreDumps, OffUnlessTheEnvironmentAsks)
{
    rlimit limit{};
    ::getrlimit(RLIMIT_CORE, &limit);
    const int coreAllowedHere = limit.rlim_max > 0 ? 2 : 0; // a hard limit of 0 cannot be raised
    struct Case
    {
        const char* allow;
        int seen;
    };
    for (const Case& c : {Case{nullptr, 0}, Case{"0", 0}, Case{"", 0}, Case{"1", 1 | coreAllowedHere}}) {
        SCOPED_TRACE(c.allow ? c.allow : "(unset)");
        EXPECT_EQ(ForbidInChild(c.allow), c.seen);
    }
}
