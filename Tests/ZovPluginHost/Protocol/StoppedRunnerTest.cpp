// A runner stopped and continued (SIGSTOP and SIGCONT: Ctrl-Z and fg, a
// debugger attached) goes on where it was: the kernel resumes its waits.

#include "CaseName.h"
#include "RunnerCall.h"
#include "RunnerHarness.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <thread>

namespace zov::test {
namespace {

using namespace std::chrono_literals;

// Waits, up to a few seconds, until the runner reads its standard input: it
// has confined itself and waits for its request. Where the system does not
// show that (/proc/PID/syscall), it waits a while instead.
void waitUntilReadingInput(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream syscall("/proc/" + std::to_string(pid) + "/syscall");
        std::string number, descriptor;
        if (!(syscall >> number >> descriptor)) {
            std::this_thread::sleep_for(500ms);
            return;
        }
        if (number == "0" && descriptor == "0x0") // read(0, ...)
            return;
        std::this_thread::sleep_for(5ms);
    }
}

// Stops the runner, waits until it has stopped, and lets it go on.
void stopAndContinue(pid_t pid) {
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    siginfo_t info{};
    // The report stays (WNOWAIT): the runner's end is for the client library to reap.
    while (::waitid(P_PID, pid, &info, WSTOPPED | WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
}

enum class StopWhen {
    WaitingForTheRequest, // a runner started ahead of time, as a pool keeps them
    WaitingForAReply,     // in the middle of a call, blocked on a fetch
    Computing,            // in the middle of a call, busy
};

struct StopCase {
    const char* name;
    StopWhen when;
    std::string body; // of method `m`, which fetches once
};

class StoppedRunner : public ::testing::TestWithParam<StopCase> {};

TEST_P(StoppedRunner, GoesOnWhenContinued) {
    const StopCase& test = GetParam();
    client::RunnerProcess runner = client::RunnerProcess::start();
    const pid_t pid = runner.pid();
    if (test.when == StopWhen::WaitingForTheRequest) {
        waitUntilReadingInput(pid);
        stopAndContinue(pid);
    }
    std::thread stopper;
    const auto onFetch = [&](const std::string&) -> std::optional<std::string> {
        if (test.when == StopWhen::WaitingForAReply)
            stopAndContinue(pid);
        else if (test.when == StopWhen::Computing)
            stopper = std::thread([pid] {
                std::this_thread::sleep_for(100ms);
                stopAndContinue(pid);
            });
        return "{\"v\":21}";
    };
    const Outcome outcome = client::call(
        std::move(runner), client::requestLine(method(test.body), "m"), options(onFetch));
    if (stopper.joinable())
        stopper.join();
    expectWellFormed(outcome);
    EXPECT_EQ(outcome.json, "42");
    EXPECT_TRUE(WIFEXITED(outcome.waitStatus()) && WEXITSTATUS(outcome.waitStatus()) == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runner, StoppedRunner,
    ::testing::Values(StopCase{"WaitingForTheRequest", StopWhen::WaitingForTheRequest,
                               "return zov.session.fetch('u').v * 2;"},
                      StopCase{"WaitingForAFetchReply", StopWhen::WaitingForAReply,
                               "return zov.session.fetch('u').v * 2;"},
                      // Busy for half a second after the reply; the stop comes within it.
                      StopCase{"Computing", StopWhen::Computing,
                               "const v = zov.session.fetch('u').v;"
                               " const end = Date.now() + 500; let spins = 0;"
                               " while (Date.now() < end) ++spins; return spins > 0 ? v * 2 : 0;"}),
    CaseName());

} // namespace
} // namespace zov::test
