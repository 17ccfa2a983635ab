// A host may hand the runner non-blocking pipes: the runner waits for them as
// it would for blocking ones, and its lines arrive whole.

#include "CaseName.h"
#include "RunnerHarness.h"

#include <chrono>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>

namespace zov::test {
namespace {

using namespace std::chrono_literals;

struct NonBlockingCase {
    const char* name;
    bool nonBlockingInput;
    bool nonBlockingOutput;
    std::chrono::milliseconds requestDelay; // before the host writes the request
    std::chrono::milliseconds readDelay;    // before the host reads anything
    size_t resultLength;                    // the result is a string of this many x
};

class NonBlockingPipes : public ::testing::TestWithParam<NonBlockingCase> {};

TEST_P(NonBlockingPipes, AreWaitedFor) {
    const NonBlockingCase& test = GetParam();
    Pipe input = makePipe();
    // The flag belongs to the runner's end alone: the host's end stays as it is.
    if (test.nonBlockingInput)
        ::fcntl(input.read.get(), F_SETFL, O_NONBLOCK);
    SpawnedChild child = spawnChild({client::defaultRunnerPath()}, std::nullopt, input.read.get(),
                                    test.nonBlockingOutput);
    input.read.reset();
    std::thread host([&] {
        blockPipeSignalOnThisThread();
        std::this_thread::sleep_for(test.requestDelay);
        const std::string body = "return 'x'.repeat(" + std::to_string(test.resultLength) + ");";
        writeAll(input.write.get(), client::requestLine(method(body), "m") + "\n");
        input.write.reset();
    });
    std::this_thread::sleep_for(test.readDelay);
    child.pipes.readToEnd();
    host.join();
    const int status = child.wait();
    EXPECT_EQ(child.pipes.errors, "");
    EXPECT_TRUE(child.pipes.output ==
                resultLineOf("\"" + std::string(test.resultLength, 'x') + "\""))
        << child.pipes.output.size() << " bytes: " << child.pipes.output.substr(0, 200);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

constexpr size_t large = size_t{8} << 20;

INSTANTIATE_TEST_SUITE_P(
    Runner, NonBlockingPipes,
    ::testing::Values(
        // The pipe fills long before the host reads: the runner waits instead of cutting the line.
        NonBlockingCase{"OutputAndALargeResult", false, true, 0ms, 300ms, large},
        // The request comes after the runner has started to read.
        NonBlockingCase{"InputAndALateRequest", true, false, 300ms, 0ms, 1},
        NonBlockingCase{"BothAndALargeResult", true, true, 300ms, 300ms, large}),
    CaseName());

} // namespace
} // namespace zov::test
