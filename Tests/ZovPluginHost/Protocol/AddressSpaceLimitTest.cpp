// A runner started under an address-space limit (RLIMIT_AS) that leaves the
// engine too little to start ends with an error line that says so, before the
// engine would abort.

#include "AddressSpaceLimit.h"
#include "CaseName.h"
#include "RunnerHarness.h"

#include <sys/wait.h>

namespace zov::test {
namespace {

struct LimitCase {
    const char* name;
    uint64_t limit; // bytes
    bool starts;    // whether the limit leaves the engine enough to start
};

class AddressSpaceLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(AddressSpaceLimit, IsCheckedBeforeTheEngineStarts) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's runtime, which the runner carries in this build, reserves "
                    "terabytes of address space and cannot start under any such limit";
#endif
    const LimitCase& test = GetParam();
    Pipe input = makePipe();
    writeAll(input.write.get(), R"({"method":"m","script":"return {m() { return 1; }};"})"
                                "\n");
    input.write.reset();
    SpawnedChild child = spawnChild(
        {"/usr/bin/prlimit", "--as=" + std::to_string(test.limit), client::defaultRunnerPath()},
        std::nullopt, input.read.get());
    child.pipes.readToEnd();
    const int status = child.wait();
    EXPECT_EQ(child.pipes.errors, "");
    if (test.starts) {
        EXPECT_EQ(child.pipes.output, resultLineOf("1"));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        return;
    }
    EXPECT_EQ(child.pipes.output,
              errorLineOf("The address-space limit (RLIMIT_AS) of " +
                          std::to_string(test.limit >> 20) +
                          " MiB is too small for the script engine, which needs " +
                          std::to_string(engineAddressSpace >> 20) + " MiB to start"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

INSTANTIATE_TEST_SUITE_P(Runner, AddressSpaceLimit,
                         ::testing::Values(LimitCase{"OneGibibyte", uint64_t{1} << 30, false},
                                           // The engine aborts at start up to about 5.3 GiB.
                                           LimitCase{"FiveGibibytes", uint64_t{5} << 30, false},
                                           LimitCase{"JustBelowWhatTheEngineNeeds",
                                                     engineAddressSpace - (1 << 20), false},
                                           LimitCase{"WhatTheEngineNeeds", engineAddressSpace,
                                                     true}),
                         CaseName());

} // namespace
} // namespace zov::test
