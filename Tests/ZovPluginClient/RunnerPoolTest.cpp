// Runners started ahead of time serve calls exactly as cold ones do.

#include "RunnerCall.h"
#include "RunnerChecks.h"

#include <zov/RunnerPool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace zov::client {
namespace {

using namespace std::chrono_literals;

CallOptions withFetches(FetchHandler onFetch = {}) {
    CallOptions callOptions;
    callOptions.onFetch = std::move(onFetch);
    callOptions.timeLimit = 60s;
    callOptions.transcriptBytes = 1 << 20;
    return callOptions;
}

TEST(RunnerPool, KeepsTheConfiguredNumberOfRunnersWaitingForTheirRequest) {
    RunnerPool pool({.waiting = 3});
    ASSERT_TRUE(eventually([&] {
        const std::vector<pid_t> pids = pool.waitingRunners();
        return pids.size() == 3 && std::all_of(pids.begin(), pids.end(), waitsForItsRequest);
    }));
}

TEST(RunnerPool, ACallMatchesAColdCallLineForLine) {
    RunnerPool pool;
    const std::string plugin =
        "return {m(input) { const r = zov.session.fetch('u/' + input);"
        " if (r.fail) throw {state: {why: r.fail}}; return [r, '\\u00e9/']; }};";
    for (const char* reply : {R"({"ok":1})", R"({"fail":"no"})", R"({"error":"denied"})"}) {
        const std::string request = requestLine(plugin, "m", "7");
        const auto answer = [&](const std::string&) { return std::optional<std::string>(reply); };
        const Outcome cold = client::call(request, withFetches(answer));
        const Outcome warm = pool.call(request, withFetches(answer));
        EXPECT_EQ(warm.transcript, cold.transcript) << reply;
        EXPECT_EQ(warm.waitStatus(), cold.waitStatus()) << reply;
        EXPECT_EQ(warm.kind, cold.kind) << reply;
        EXPECT_NE(warm.kind, Outcome::Kind::Failure) << warm.message;
    }
}

TEST(RunnerPool, NeverHandsOutARunnerTwice) {
    RunnerPool pool({.waiting = 2});
    std::set<pid_t> seen;
    for (int i = 0; i < 6; ++i) {
        RunnerProcess runner = takeRunner(pool);
        EXPECT_TRUE(seen.insert(runner.pid()).second);
        EXPECT_FALSE(runner.hasExited());
        const Outcome outcome = client::call(
            std::move(runner), requestLine("return {m() { return 1; }};", "m"), withFetches());
        EXPECT_EQ(outcome.json, "1") << outcome.message;
    }
}

TEST(RunnerPool, ReplacesARunnerThatDiedWhileWaiting) {
    RunnerPool pool({.waiting = 2});
    ASSERT_TRUE(eventually([&] { return pool.waitingRunners().size() == 2; }));
    const pid_t victim = pool.waitingRunners().front();
    ASSERT_EQ(::kill(victim, SIGKILL), 0);
    ASSERT_TRUE(eventually([&] {
        const std::vector<pid_t> pids = pool.waitingRunners();
        return pids.size() == 2 && std::find(pids.begin(), pids.end(), victim) == pids.end();
    }));
    // Reaped, not left as a zombie.
    EXPECT_TRUE(eventually([&] { return isGone(victim); }));
    const Outcome outcome =
        pool.call(requestLine("return {m() { return 2; }};", "m"), withFetches());
    EXPECT_EQ(outcome.json, "2") << outcome.message;
}

TEST(RunnerPool, StopsAndReapsItsWaitingRunnersWhenItGoes) {
    std::vector<pid_t> pids;
    {
        RunnerPool pool({.waiting = 2});
        ASSERT_TRUE(eventually([&] { return pool.waitingRunners().size() == 2; }));
        pids = pool.waitingRunners();
    }
    for (const pid_t pid : pids)
        EXPECT_TRUE(isGone(pid)) << pid;
}

TEST(RunnerPool, AppliesTheCallersTimeLimit) {
    RunnerPool pool;
    CallOptions callOptions = withFetches();
    callOptions.timeLimit = 300ms;
    const Outcome outcome =
        pool.call(requestLine("return {m() { for (;;) {} }};", "m"), callOptions);
    EXPECT_EQ(outcome.kind, Outcome::Kind::Failure);
    EXPECT_TRUE(outcome.timedOut);
}

TEST(RunnerPool, ServesCallsFromSeveralThreads) {
    RunnerPool pool({.waiting = 2});
    std::vector<std::thread> callers;
    std::atomic<int> correct = 0;
    for (int thread = 0; thread < 2; ++thread) {
        callers.emplace_back([&, thread] {
            for (int i = 0; i < 8; ++i) {
                const int value = thread * 100 + i;
                const Outcome outcome = pool.call(
                    requestLine("return {m(x) { return x; }};", "m", std::to_string(value)),
                    withFetches());
                correct += outcome.json == std::to_string(value);
            }
        });
    }
    for (std::thread& caller : callers)
        caller.join();
    EXPECT_EQ(correct, 16);
}

TEST(RunnerPool, ReportsARunnerThatCannotBeStarted) {
    RunnerPool pool({.runner = {"/nonexistent/ZovPluginHost"}});
    EXPECT_THROW(takeRunner(pool), std::system_error);
    EXPECT_TRUE(pool.waitingRunners().empty());
}

} // namespace
} // namespace zov::client
