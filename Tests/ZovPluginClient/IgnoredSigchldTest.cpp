// A host that ignores SIGCHLD has its runners reaped by the kernel, their wait status lost: its
// calls still come back, and nothing waits or spins for a status that never comes.

#include "CaseName.h"
#include "RunnerCall.h"
#include "RunnerChecks.h"

#include <zov/PluginCall.h>
#include <zov/RunnerPool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace zov::client {
namespace {

using namespace std::chrono_literals;
using test::CaseName;

class IgnoredSigchld {
public:
    IgnoredSigchld() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGCHLD, &ignore, &old_);
    }
    ~IgnoredSigchld() { sigaction(SIGCHLD, &old_, nullptr); }
    IgnoredSigchld(const IgnoredSigchld&) = delete;
    IgnoredSigchld& operator=(const IgnoredSigchld&) = delete;

private:
    struct sigaction old_ {};
};

std::chrono::nanoseconds processCpuTime() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// A runner is either the real one with a plugin, or a shell script in its place.
struct Call {
    const char* name;
    std::string plugin; // the method `m`'s body, or empty
    std::string script; // the stand-in's shell script, or empty
    std::chrono::milliseconds timeLimit;
    Outcome::Kind kind;
    std::string message; // the outcome's message, or its start for a failure
    bool timedOut = false;
};

class IgnoredSigchldCalls : public testing::TestWithParam<Call> {};

TEST_P(IgnoredSigchldCalls, ComeBackWithAnUnknownStatus) {
    const Call& row = GetParam();
    std::filesystem::path directory;
    RunnerCommand command;
    if (!row.script.empty()) {
        char pattern[] = "/tmp/zov-sigchld-XXXXXX";
        directory = ::mkdtemp(pattern);
        command.path = directory / "runner";
        std::ofstream(command.path) << "#!/bin/sh\n" << row.script << '\n';
        std::filesystem::permissions(command.path, std::filesystem::perms::owner_all);
    }
    const IgnoredSigchld ignored;
    CallOptions options;
    options.timeLimit = row.timeLimit;
    const auto cpuBefore = processCpuTime();
    const Outcome outcome =
        call(requestLine("return {m() {" + row.plugin + "}};", "m"), options, command);
    // The runner's end, learnt in the background after a final line.
    const int waitStatus = outcome.waitStatus();
    const auto cpu = processCpuTime() - cpuBefore;
    if (!directory.empty())
        std::filesystem::remove_all(directory);

    EXPECT_EQ(outcome.kind, row.kind) << outcome.message;
    EXPECT_TRUE(outcome.message.starts_with(row.message)) << outcome.message;
    EXPECT_EQ(outcome.timedOut, row.timedOut);
    EXPECT_EQ(waitStatus, -1);
    EXPECT_EQ(outcome.exit.get().problem,
              row.kind == Outcome::Kind::Failure ? outcome.message : "");
    // Waiting, not spinning: the stand-ins sleep for a second before they end.
    EXPECT_LT(cpu, 500ms);
}

INSTANTIATE_TEST_SUITE_P(
    PluginCall, IgnoredSigchldCalls,
    testing::Values(
        Call{"ResultWithoutTimeLimit", "return 1;", "", 0ms, Outcome::Kind::Result, ""},
        Call{"ResultWithTimeLimit", "return 1;", "", 60s, Outcome::Kind::Result, ""},
        Call{"ErrorLine", "throw new Error('x');", "", 60s, Outcome::Kind::Error, "Error: x"},
        Call{"TimeLimit", "for (;;) {}", "", 300ms, Outcome::Kind::Failure,
             "The plugin runner took longer than 300 ms", true},
        Call{"ResultAfterASecond", "",
             "read request; sleep 1; echo '{\"json\":\"2\",\"type\":\"result\"}'", 0ms,
             Outcome::Kind::Result, ""},
        Call{"NoFinalLine", "", "read request; sleep 1; exit 1", 0ms, Outcome::Kind::Failure,
             "The plugin runner ended without a final line (an unknown status"},
        Call{"NoFinalLineWithTimeLimit", "", "read request; sleep 1; exit 1", 60s,
             Outcome::Kind::Failure,
             "The plugin runner ended without a final line (an unknown status"}),
    CaseName());

TEST(RunnerPool, ReplacesADeadRunnerWithoutSpinningWhenSigchldIsIgnored) {
    const IgnoredSigchld ignored;
    RunnerPool pool;
    ASSERT_TRUE(eventually([&] { return pool.waitingRunners().size() == 1; }));
    const pid_t victim = pool.waitingRunners().front();
    ASSERT_EQ(::kill(victim, SIGKILL), 0);
    ASSERT_TRUE(eventually([&] {
        const std::vector<pid_t> pids = pool.waitingRunners();
        return pids.size() == 1 && pids.front() != victim && waitsForItsRequest(pids.front());
    }));
    // All is quiet now: a thread that still polled the dead runner's descriptor would burn a
    // core's worth of CPU time.
    const auto cpuBefore = processCpuTime();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(processCpuTime() - cpuBefore, 200ms);
    const Outcome outcome = pool.call(requestLine("return {m() { return 3; }};", "m"), {});
    EXPECT_EQ(outcome.json, "3") << outcome.message;
}

} // namespace
} // namespace zov::client
