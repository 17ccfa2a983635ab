// What a runner starts with, whatever the host has set for itself, and how long it lives.

#include "RunnerProcess.h"
#include "CaseName.h"
#include "RunnerCall.h"
#include "RunnerChecks.h"
#include "ScopedEnvironment.h"

#include <zov/PluginCall.h>
#include <zov/RunnerPool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pthread.h>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace zov::client {
namespace {

using namespace std::chrono_literals;
using test::CaseName;

CallOptions withTimeLimit(std::chrono::milliseconds timeLimit = 60s) {
    CallOptions options;
    options.timeLimit = timeLimit;
    return options;
}

// The process's environment, one NAME=VALUE a row.
std::vector<std::string> environmentOf(pid_t pid) {
    std::vector<std::string> variables;
    std::istringstream text(procFile(pid, "environ"));
    for (std::string variable; std::getline(text, variable, '\0');)
        variables.push_back(variable);
    return variables;
}

struct EngineChoice {
    const char* name;
    bool jit;
};

class EngineChoices : public testing::TestWithParam<EngineChoice> {};

TEST_P(EngineChoices, TheHostsEngineVariablesStayWithTheHost) {
    // JSC_dumpOptions would make the engine write its options on standard error.
    const test::ScopedEnvironment dump("JSC_dumpOptions", "1");
    const test::ScopedEnvironment jit("JSC_useJIT", GetParam().jit ? "false" : "true");
    const test::ScopedEnvironment other("ZOV_TEST_VARIABLE", "kept");
    RunnerProcess runner = RunnerProcess::start({}, {.jit = GetParam().jit});
    // Its environment shows once the exec is done.
    ASSERT_TRUE(eventually([&] { return waitsForItsRequest(runner.pid()); }));
    std::vector<std::string> engineVariables;
    bool otherKept = false;
    for (const std::string& variable : environmentOf(runner.pid())) {
        if (variable.starts_with("JSC_"))
            engineVariables.push_back(variable);
        otherKept = otherKept || variable == "ZOV_TEST_VARIABLE=kept";
    }
    EXPECT_TRUE(otherKept);
    EXPECT_EQ(engineVariables, GetParam().jit ? std::vector<std::string>{}
                                              : std::vector<std::string>{"JSC_useJIT=false"});
    const Outcome outcome =
        call(std::move(runner), requestLine("return {m() { return 1; }};", "m"), withTimeLimit());
    EXPECT_EQ(outcome.json, "1") << outcome.message;
    EXPECT_EQ(outcome.errorOutput, "");
}

TEST_P(EngineChoices, OnlyTheJitHasMemoryThatIsWritableAndExecutable) {
    RunnerPool pool({.jit = GetParam().jit});
    ASSERT_TRUE(eventually([&] {
        const std::vector<pid_t> pids = pool.waitingRunners();
        return pids.size() == 1 && waitsForItsRequest(pids.front());
    }));
    size_t writableAndExecutable = 0;
    std::istringstream maps(procFile(pool.waitingRunners().front(), "maps"));
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, permissions;
        fields >> range >> permissions;
        writableAndExecutable += permissions.find('w') != std::string::npos &&
                                 permissions.find('x') != std::string::npos;
    }
    EXPECT_EQ(writableAndExecutable > 0, GetParam().jit);
}

INSTANTIATE_TEST_SUITE_P(RunnerProcess, EngineChoices,
                         testing::Values(EngineChoice{"Interpreter", false},
                                         EngineChoice{"Jit", true}),
                         CaseName());

// Undoes what a test set for the host's signals.
class ScopedSignals {
public:
    ScopedSignals() {
        sigaction(SIGPIPE, nullptr, &pipe_);
        pthread_sigmask(SIG_SETMASK, nullptr, &mask_);
    }
    ~ScopedSignals() {
        sigaction(SIGPIPE, &pipe_, nullptr);
        pthread_sigmask(SIG_SETMASK, &mask_, nullptr);
    }
    ScopedSignals(const ScopedSignals&) = delete;
    ScopedSignals& operator=(const ScopedSignals&) = delete;

private:
    struct sigaction pipe_ {};
    sigset_t mask_{};
};

TEST(RunnerProcess, StartsWithDefaultSignalsAndOnlyItsThreeStreams) {
    const ScopedSignals restore;
    // What an exec would hand on: an ignored signal, and a blocked one.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
    // Left open across exec by the host, as careless code does.
    const UniqueFd leaked(::open("/dev/null", O_RDONLY));
    ASSERT_TRUE(leaked);

    const Outcome outcome =
        call(RunnerProcess::start({ZOV_TEST_HOST, {"inherited"}}, {.memoryLimit = {.bytes = 0}}),
             "", withTimeLimit());
    // Not even the host's file, in whichever order the directory lists them.
    std::vector<std::string> lines;
    std::istringstream shown(outcome.errorOutput);
    for (std::string line; std::getline(shown, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines,
              (std::vector<std::string>{"SigBlk:\t0000000000000000", "SigIgn:\t0000000000000000",
                                        "fd 0", "fd 1", "fd 2"}));
}

struct StartFailure {
    const char* name;
    std::string path; // none: a file that is not executable
    int error;
};

class StartFailures : public testing::TestWithParam<StartFailure> {};

TEST_P(StartFailures, AreReportedWithTheSystemsError) {
    char pattern[] = "/tmp/zov-not-executable-XXXXXX";
    const UniqueFd file(::mkstemp(pattern));
    ASSERT_TRUE(file);
    const std::string path = GetParam().path.empty() ? pattern : GetParam().path;
    try {
        RunnerProcess::start({path});
        ADD_FAILURE() << "started " << path;
    } catch (const std::system_error& failure) {
        EXPECT_EQ(failure.code().value(), GetParam().error) << failure.what();
    }
    ::unlink(pattern);
}

INSTANTIATE_TEST_SUITE_P(RunnerProcess, StartFailures,
                         testing::Values(StartFailure{"Missing", "/nonexistent/runner", ENOENT},
                                         StartFailure{"Directory", "/", EACCES},
                                         StartFailure{"NotExecutable", "", EACCES}),
                         CaseName());

// A runner dies with the thread that started it unless that thread lives as long as the host.
struct Starter {
    const char* name;
    RunnerProcess (*start)();
};

class Starters : public testing::TestWithParam<Starter> {};

TEST_P(Starters, TheRunnerOutlivesTheThreadThatStartedIt) {
    RunnerProcess runner = GetParam().start();
    // Time for a parent-death signal to arrive, if one had been sent.
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(runner.hasExited());
    const Outcome outcome =
        call(std::move(runner), requestLine("return {m() { return 2; }};", "m"), withTimeLimit());
    EXPECT_EQ(outcome.json, "2") << outcome.message;
}

INSTANTIATE_TEST_SUITE_P(
    RunnerProcess, Starters,
    testing::Values(Starter{"AThreadThatEnded",
                            [] {
                                std::optional<RunnerProcess> runner;
                                std::thread([&] { runner = RunnerProcess::start(); }).join();
                                return std::move(*runner);
                            }},
                    // Its runners are started by a thread of its own, which ends with it.
                    Starter{"APoolThatIsGone",
                            [] {
                                RunnerPool pool;
                                EXPECT_TRUE(
                                    eventually([&] { return !pool.waitingRunners().empty(); }));
                                return takeRunner(pool);
                            }}),
    CaseName());

// The "Max cpu time" limits of process `pid`: soft and hard, as /proc shows them.
std::string cpuTimeLimits(pid_t pid) {
    std::istringstream limits(procFile(pid, "limits"));
    for (std::string line; std::getline(limits, line);) {
        if (line.starts_with("Max cpu time")) {
            std::istringstream fields(line.substr(12));
            std::string soft, hard;
            fields >> soft >> hard;
            return soft + " " + hard;
        }
    }
    return "";
}

TEST(RunnerProcess, ACallLimitsTheRunnersCpuTimeToItsTimeLimit) {
    RunnerPool pool;
    for (const auto timeLimit : {10s, 0s}) {
        RunnerProcess runner = takeRunner(pool);
        const pid_t pid = runner.pid();
        std::string limits;
        CallOptions options = withTimeLimit(timeLimit);
        options.onFetch = [&](const std::string&) -> std::optional<std::string> {
            limits = cpuTimeLimits(pid);
            return "{}";
        };
        const Outcome outcome =
            call(std::move(runner),
                 requestLine("return {m() { return zov.session.fetch('u'); }};", "m"), options);
        EXPECT_EQ(outcome.json, "{}") << outcome.message;
        if (timeLimit == 0s) {
            EXPECT_EQ(limits, "unlimited unlimited");
        } else {
            // Ten seconds, one for the CPU time the runner used to start and one to spare.
            const long soft = std::stol(limits);
            EXPECT_TRUE(soft >= 12 && soft <= 14) << limits;
            EXPECT_EQ(limits, std::to_string(soft) + " " + std::to_string(soft));
        }
    }
}

} // namespace
} // namespace zov::client
