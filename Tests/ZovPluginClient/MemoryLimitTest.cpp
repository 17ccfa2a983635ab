// A runner that needs more memory than its limit is killed, its call a failure that says so;
// one that stays under its limit is left alone; nothing of the runner is left behind.

#include "CaseName.h"
#include "RunnerCall.h"
#include "RunnerChecks.h"

#include <zov/PluginCall.h>
#include <zov/RunnerPool.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zov::client {
namespace {

using namespace std::chrono_literals;
using test::CaseName;
namespace fs = std::filesystem;

constexpr size_t limit = size_t{256} << 20;

MemoryLimit limitFor(MemoryBound bound) {
    return {.bytes = limit, .useCgroup = bound == MemoryBound::Cgroup};
}

CallOptions options(MemoryLimit memoryLimit) {
    CallOptions callOptions;
    callOptions.timeLimit = 120s;
    callOptions.memoryLimit = std::move(memoryLimit);
    return callOptions;
}

CallOptions options(MemoryBound bound) {
    return options(limitFor(bound));
}

// The memory cgroup directory of process `pid`, as /proc shows its path, under the usual mount
// points of v2 and of v1's memory hierarchy; none when it is in none of them.
std::optional<fs::path> memoryCgroupOf(pid_t pid) {
    std::istringstream lines(procFile(pid, "cgroup"));
    for (std::string line; std::getline(lines, line);) {
        const size_t first = line.find(':');
        const size_t second = line.find(':', first + 1);
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        for (const char* root :
             {"/sys/fs/cgroup/memory", "/sys/fs/cgroup", "/sys/fs/cgroup/unified"}) {
            if ((controllers.empty() || controllers.find("memory") != std::string::npos) &&
                fs::exists(fs::path(root + path) / "cgroup.procs") && path != "/" &&
                fs::path(path).filename().string().starts_with("zov-"))
                return fs::path(root + path);
        }
    }
    return std::nullopt;
}

// The start time of process `pid`, the 22nd field of its stat.
std::string startTime(pid_t pid) {
    const std::string stat = procFile(pid, "stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    return field;
}

// Skips a test of cgroups where the host can make none.
#define SKIP_WITHOUT_CGROUPS(bound)                                                                \
    if ((bound) == MemoryBound::Cgroup &&                                                          \
        RunnerProcess::start({}, {.memoryLimit = limitFor(bound)}).memoryBound() !=                \
            MemoryBound::Cgroup)                                                                   \
    GTEST_SKIP() << "no memory cgroup can be made here"

struct Bomb {
    const char* name;
    std::string body; // the method's body: it grows something without end
};

struct BombUnderBound {
    std::string name;
    Bomb bomb;
    MemoryBound bound;
};

class MemoryBombs : public testing::TestWithParam<BombUnderBound> {};

TEST_P(MemoryBombs, EndAsMemoryLimitExceeded) {
    SKIP_WITHOUT_CGROUPS(GetParam().bound);
    const Outcome outcome = call(requestLine("return {m() {" + GetParam().bomb.body + "}};", "m"),
                                 options(GetParam().bound));
    EXPECT_EQ(outcome.kind, Outcome::Kind::Failure);
    EXPECT_TRUE(outcome.memoryLimitExceeded);
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_EQ(outcome.memoryBound, GetParam().bound);
    EXPECT_EQ(outcome.memoryLimitBytes, limit);
    EXPECT_EQ(outcome.message, "The plugin runner was stopped: memory limit of 256 MiB exceeded");
    EXPECT_TRUE(WIFSIGNALED(outcome.waitStatus()) && WTERMSIG(outcome.waitStatus()) == SIGKILL);
}

std::vector<BombUnderBound> bombsUnderEachBound() {
    const Bomb bombs[] = {
        {"Array", "const a = []; for (let i = 0;; ++i) a.push(new Array(1 << 16).fill(i));"},
        {"String", "const a = []; for (let i = 0;; ++i) a.push(('' + i).padEnd(1 << 20, 'x'));"},
        {"TypedArrays", "const a = []; for (;;) a.push(new Float64Array(1 << 17).fill(1));"},
    };
    std::vector<BombUnderBound> rows;
    for (const Bomb& bomb : bombs) {
        rows.push_back({std::string(bomb.name) + "InCgroup", bomb, MemoryBound::Cgroup});
        rows.push_back({std::string(bomb.name) + "Watched", bomb, MemoryBound::Watched});
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(PluginCall, MemoryBombs, testing::ValuesIn(bombsUnderEachBound()),
                         CaseName());

struct Bound {
    const char* name;
    MemoryBound bound;
};

class MemoryBounds : public testing::TestWithParam<Bound> {};

TEST_P(MemoryBounds, LeaveACallUnderTheLimitAlone) {
    SKIP_WITHOUT_CGROUPS(GetParam().bound);
    // About 64 MiB, held until the method returns.
    const Outcome outcome = call(requestLine("return {m() { const a = [];"
                                             " for (let i = 0; i < 64; ++i)"
                                             " a.push(new Uint8Array(1 << 20).fill(i));"
                                             " return a.length; }};",
                                             "m"),
                                 options(GetParam().bound));
    EXPECT_EQ(outcome.json, "64") << outcome.message;
    EXPECT_FALSE(outcome.memoryLimitExceeded);
    EXPECT_EQ(outcome.memoryBound, GetParam().bound);
}

TEST_P(MemoryBounds, KeepThePoolServing) {
    SKIP_WITHOUT_CGROUPS(GetParam().bound);
    RunnerPool pool({.memoryLimit = limitFor(GetParam().bound)});
    const std::string bomb = requestLine(
        "return {m() { const a = []; for (;;) a.push(new Array(1 << 16).fill(0)); }};", "m");
    const std::string ordinary = requestLine("return {m(x) { return x + 1; }};", "m", "41");
    for (int round = 0; round < 2; ++round) {
        const Outcome exceeded = pool.call(bomb, options(GetParam().bound));
        EXPECT_TRUE(exceeded.memoryLimitExceeded) << exceeded.message;
        const Outcome served = pool.call(ordinary, options(GetParam().bound));
        EXPECT_EQ(served.json, "42") << served.message;
        EXPECT_FALSE(served.memoryLimitExceeded);
        EXPECT_EQ(served.memoryBound, GetParam().bound);
    }
}

INSTANTIATE_TEST_SUITE_P(PluginCall, MemoryBounds,
                         testing::Values(Bound{"Cgroup", MemoryBound::Cgroup},
                                         Bound{"Watched", MemoryBound::Watched}),
                         CaseName());

TEST(MemoryLimit, ARunnersCgroupGoesWithIt) {
    RunnerProcess runner = RunnerProcess::start({}, {.memoryLimit = limitFor(MemoryBound::Cgroup)});
    if (runner.memoryBound() != MemoryBound::Cgroup)
        GTEST_SKIP() << "no memory cgroup can be made here";
    const std::optional<fs::path> cgroup = memoryCgroupOf(runner.pid());
    ASSERT_TRUE(cgroup);
    EXPECT_TRUE(fs::exists(*cgroup));
    runner.kill();
    EXPECT_FALSE(fs::exists(*cgroup));
}

TEST(MemoryLimit, TheCgroupsOfEndedHostsAreRemoved) {
    RunnerProcess first = RunnerProcess::start({}, {.memoryLimit = limitFor(MemoryBound::Cgroup)});
    if (first.memoryBound() != MemoryBound::Cgroup)
        GTEST_SKIP() << "no memory cgroup can be made here";
    const fs::path parent = memoryCgroupOf(first.pid())->parent_path();
    // A host that has ended: a child of ours, reaped.
    const pid_t ended = ::fork();
    if (ended == 0)
        _exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string ownStart = startTime(::getpid());
    const fs::path stale = parent / ("zov-" + std::to_string(ended) + "-" + ownStart + "-1");
    const fs::path reusedNumber = parent / ("zov-" + std::to_string(::getpid()) + "-1-1");
    const fs::path live =
        parent / ("zov-" + std::to_string(::getpid()) + "-" + ownStart + "-999999");
    for (const fs::path& cgroup : {stale, reusedNumber, live})
        ASSERT_EQ(::mkdir(cgroup.c_str(), 0755), 0) << cgroup;

    RunnerProcess second = RunnerProcess::start({}, {.memoryLimit = limitFor(MemoryBound::Cgroup)});
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(reusedNumber));
    EXPECT_TRUE(fs::exists(live));
    ::rmdir(live.c_str());
}

struct Parent {
    const char* name;
    std::string path;
};

class UnusableParents : public testing::TestWithParam<Parent> {};

TEST_P(UnusableParents, LeaveTheRunnerToTheWatch) {
    const Outcome outcome = call(requestLine("return {m() { return 5; }};", "m"),
                                 options({.bytes = limit, .cgroupParent = GetParam().path}));
    EXPECT_EQ(outcome.json, "5") << outcome.message;
    EXPECT_EQ(outcome.memoryBound, MemoryBound::Watched);
}

INSTANTIATE_TEST_SUITE_P(
    MemoryLimit, UnusableParents,
    testing::Values(Parent{"Missing", "/nonexistent/cgroup"}, Parent{"NotACgroup", "/tmp"},
                    Parent{"WithoutTheMemoryController", "/sys/fs/cgroup/pids"}),
    CaseName());

TEST(MemoryLimit, ZeroIsNoLimit) {
    const Outcome outcome =
        call(requestLine("return {m() { return 6; }};", "m"), options({.bytes = 0}));
    EXPECT_EQ(outcome.json, "6") << outcome.message;
    EXPECT_EQ(outcome.memoryBound, MemoryBound::None);
    EXPECT_EQ(outcome.memoryLimitBytes, 0u);
}

} // namespace
} // namespace zov::client
