// A runner ends when its host does, even when the host is killed in the middle of a call.

#include "CaseName.h"
#include "RunnerChecks.h"
#include "SpawnedChild.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>

namespace zov::client {
namespace {

using namespace std::chrono_literals;
using test::CaseName;

// The CPU time that process `pid` has used, in clock ticks.
long cpuTicks(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    // utime and stime, the 14th and 15th fields: the 12th and 13th after the name.
    for (int i = 1; i <= 13 && fields >> field; ++i) {
        if (i >= 12)
            ticks += std::stol(field);
    }
    return ticks;
}

struct HostKind {
    const char* name;
    const char* mode; // zov-test-host's argument
};

class KilledHosts : public testing::TestWithParam<HostKind> {};

TEST_P(KilledHosts, TakeTheirBusyRunnerWithThem) {
    // The orphaned runner becomes this process's child, so that the test sees how it ended.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    test::SpawnedChild host = test::spawnChild({ZOV_TEST_HOST, GetParam().mode});
    while (host.pipes.output.find('\n') == std::string::npos && host.pipes.pump()) {
    }
    const pid_t runner = std::stoi(host.pipes.output);
    // While the host has not reaped it, the number is the runner's.
    const UniqueFd runnerFd(static_cast<int>(::syscall(SYS_pidfd_open, runner, 0)));
    ASSERT_TRUE(runnerFd);
    // Busy with the plugin's endless loop.
    ASSERT_TRUE(eventually([&] { return cpuTicks(runner) > 10; }));

    ::kill(host.pid, SIGKILL);
    host.wait();
    pollfd ended{runnerFd.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&ended, 1, 60'000), 1) << "the runner outlived its host";
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PIDFD, static_cast<id_t>(runnerFd.get()), &info, WEXITED), 0);
    EXPECT_EQ(info.si_code, CLD_KILLED);
    EXPECT_EQ(info.si_status, SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(RunnerProcess, KilledHosts,
                         testing::Values(HostKind{"ColdCall", "cold"},
                                         HostKind{"PooledRunner", "pooled"}),
                         CaseName());

} // namespace
} // namespace zov::client
