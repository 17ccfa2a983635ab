// The sandbox as the host sees it: the confinement of the waiting runner, and
// a confinement that cannot be entered, through a runner built with a stand-in
// that fails with the error text the test chooses.

#include "CaseName.h"
#include "RunnerCall.h"
#include "RunnerHarness.h"
#include "ScopedEnvironment.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/wait.h>

namespace zov::test {
namespace {

std::string runnerNamed(const char* name) {
    return (std::filesystem::path(client::defaultRunnerPath()).parent_path() / name).string();
}

// The lines of /proc/PID/task/TID/status that tell the confinement, per thread.
std::vector<std::map<std::string, std::string>> threadConfinement(pid_t pid) {
    std::vector<std::map<std::string, std::string>> threads;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream status(task.path() / "status");
        std::map<std::string, std::string> fields;
        for (std::string line; std::getline(status, line);) {
            const size_t colon = line.find(':');
            const std::string key = line.substr(0, colon);
            if (key == "NoNewPrivs" || key == "Seccomp")
                fields[key] = line.substr(line.find_first_not_of(" \t", colon + 1));
        }
        threads.push_back(fields);
    }
    return threads;
}

std::set<int> openDescriptors(pid_t pid) {
    std::set<int> fds;
    const std::filesystem::path dir = "/proc/" + std::to_string(pid) + "/fd";
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        fds.insert(std::stoi(entry.path().filename()));
    return fds;
}

TEST(Confinement, HoldsForEveryThreadWhileTheRunnerWaitsForTheHost) {
    client::RunnerProcess runner = client::RunnerProcess::start();
    const pid_t pid = runner.pid();
    std::vector<std::map<std::string, std::string>> threads;
    std::set<int> fds;
    // The plugin allocates enough for the engine's helper threads to run,
    // then waits for the host's reply to its fetch.
    const std::string plugin = method("const a = []; for (let i = 0; i < 300000; i++) a.push({i});"
                                      " return [a.length, zov.session.fetch('u').ok];");
    const Outcome outcome = client::call(std::move(runner), client::requestLine(plugin, "m"),
                                         options([&](const std::string&) {
                                             threads = threadConfinement(pid);
                                             fds = openDescriptors(pid);
                                             return std::optional<std::string>("{\"ok\":1}");
                                         }));
    expectWellFormed(outcome);
    EXPECT_EQ(outcome.json, "[300000,1]");
    ASSERT_FALSE(threads.empty());
    for (const auto& fields : threads) {
        EXPECT_EQ(fields.at("NoNewPrivs"), "1");
        EXPECT_EQ(fields.at("Seccomp"), "2");
    }
    // Only the descriptors the host opened are left; the filter lets the
    // runner read the first and write the second, and nothing else.
    EXPECT_EQ(fds, (std::set<int>{STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}));
}

// What the stand-in confinement hands back, and the error line's message.
struct SandboxFailure {
    const char* name;
    std::optional<std::string> errorText;
    std::string message;
};

class FailedSandbox : public ::testing::TestWithParam<SandboxFailure> {};

TEST_P(FailedSandbox, EndsInOneErrorLineBeforeTheRequest) {
    const SandboxFailure& test = GetParam();
    ScopedEnvironment errorText("ZOV_TEST_CONFINEMENT_ERROR", test.errorText);
    const Outcome outcome =
        client::call(client::RunnerProcess::start({runnerNamed("ZovPluginHostFailingSandbox")}),
                     client::requestLine(method("return 1;"), "m"), options());
    expectWellFormed(outcome);
    ASSERT_EQ(outcome.kind, Outcome::Kind::Error) << outcome.json;
    EXPECT_EQ(outcome.message, test.message);
    EXPECT_EQ(outcome.transcript.size(), 1u);
    EXPECT_TRUE(outcome.state.empty());
    EXPECT_TRUE(WIFEXITED(outcome.waitStatus()) && WEXITSTATUS(outcome.waitStatus()) == 1);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, FailedSandbox,
    ::testing::Values(SandboxFailure{"WithText", "seccomp: Invalid argument",
                                     "Sandbox failed: seccomp: Invalid argument"},
                      SandboxFailure{"WithEmptyText", "", "Sandbox failed: "},
                      SandboxFailure{"WithoutText", std::nullopt, "Sandbox failed: unknown"},
                      SandboxFailure{"WithNonAsciiText", "Zugriff verweigert \xE2\x80\x93 \"/\"",
                                     "Sandbox failed: Zugriff verweigert \xE2\x80\x93 \"/\""}),
    CaseName());

// A runner whose standard input is a regular file holding the request line:
// its output, and how far it read the file.
struct FileRun {
    RawRun run;
    off_t offset = -1;
};

FileRun runWithFileInput(const std::string& runner, const std::string& request) {
    char path[] = "/tmp/zov-request-XXXXXX";
    const UniqueFd file(::mkstemp(path));
    std::filesystem::remove(path);
    const std::string line = request + "\n";
    EXPECT_EQ(::pwrite(file.get(), line.data(), line.size(), 0), static_cast<ssize_t>(line.size()));
    FileRun result{runWithInput(runner, file.get())};
    // The runner's standard input shared this open file, and its offset.
    result.offset = ::lseek(file.get(), 0, SEEK_CUR);
    return result;
}

TEST(FailedSandbox, LeavesTheRequestUnread) {
    ScopedEnvironment errorText("ZOV_TEST_CONFINEMENT_ERROR", "refused");
    const std::string request = client::requestLine(method("return 1;"), "m");
    const FileRun failed = runWithFileInput(runnerNamed("ZovPluginHostFailingSandbox"), request);
    EXPECT_EQ(failed.run.output,
              "{\"message\":\"Sandbox failed: refused\",\"state\":{},\"type\":\"error\"}\n");
    EXPECT_EQ(failed.run.errors, "");
    EXPECT_EQ(failed.offset, 0);

    // The confined runner reads the same file, so the offset tells.
    const FileRun confined = runWithFileInput(client::defaultRunnerPath(), request);
    EXPECT_EQ(confined.run.output, "{\"json\":\"1\",\"type\":\"result\"}\n");
    EXPECT_EQ(confined.offset, static_cast<off_t>(request.size() + 1));
}

} // namespace
} // namespace zov::test
