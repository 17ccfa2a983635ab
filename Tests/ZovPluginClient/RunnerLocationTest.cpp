// How the host library finds the runner when the caller names none: ZOV_PLUGIN_HOST, else the
// runner installed beside the library, wherever the library's prefix has been put. Each case
// copies the built library into a prefix of its own (PREFIX/lib, with the runner expected in
// PREFIX/libexec/zov) and runs a probe that loads it from there.

#include "CaseName.h"
#include "SpawnedChild.h"
#include "TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zov::test {
namespace {

namespace fs = std::filesystem;

enum class Runner { executable, missing, notExecutable, directory };

struct LocationCase {
    const char* name;
    Runner runner;                   // what PREFIX/libexec/zov/ZovPluginHost is
    bool throughLink;                // the library loaded through a symbolic link to PREFIX/lib
    std::optional<std::string> host; // ZOV_PLUGIN_HOST; "RUNNER" stands for the prefix's runner
    std::string expected;            // the probe's line; PREFIX stands for the prefix
};

std::string replaced(std::string text, const std::string& word, const std::string& by) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + by.size()))
        text.replace(at, word.size(), by);
    return text;
}

class RunnerLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(RunnerLocation, FindsTheRunnerOrNamesThePathTried) {
    const LocationCase& test = GetParam();
    const TemporaryDirectory directory;
    const fs::path prefix = fs::path(directory.path()) / "prefix";
    const fs::path libraryFolder = prefix / ZOV_TEST_LIBDIR;
    const fs::path runner = prefix / ZOV_TEST_RUNNER_DIR / "ZovPluginHost";
    fs::create_directories(libraryFolder);
    fs::create_directories(runner.parent_path());
    fs::copy_file(ZOV_TEST_CLIENT_LIBRARY, libraryFolder / ZOV_TEST_CLIENT_SONAME);
    if (test.runner == Runner::directory) {
        fs::create_directory(runner);
    } else if (test.runner != Runner::missing) {
        std::ofstream(runner) << "#!/bin/sh\n";
        fs::permissions(runner,
                        test.runner == Runner::executable ? fs::perms(0755) : fs::perms(0644));
    }
    fs::path loadedFrom = libraryFolder;
    if (test.throughLink) {
        loadedFrom = fs::path(directory.path()) / "linked";
        fs::create_directory_symlink(libraryFolder, loadedFrom);
    }

    // This process's environment (sanitizers' options included) with the case's variables: the
    // library copy comes first, before the build tree's that the probe's own search path names.
    std::vector<std::string> environment{"LD_LIBRARY_PATH=" + loadedFrom.string()};
    if (test.host)
        environment.push_back("ZOV_PLUGIN_HOST=" + replaced(*test.host, "RUNNER", runner));
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view entry = *variable;
        if (!entry.starts_with("LD_LIBRARY_PATH=") && !entry.starts_with("ZOV_PLUGIN_HOST="))
            environment.emplace_back(entry);
    }
    SpawnedChild probe = spawnChild({ZOV_TEST_PROBE}, environment);
    probe.pipes.readToEnd();
    const int status = probe.wait();

    EXPECT_EQ(probe.pipes.output, replaced(test.expected, "PREFIX", prefix) + "\n");
    EXPECT_EQ(probe.pipes.errors, "");
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), test.expected.starts_with("error: ") ? 1 : 0);
}

const std::string installed = std::string("PREFIX/") + ZOV_TEST_RUNNER_DIR + "/ZovPluginHost";
const std::string beside =
    " (the runner installed beside PREFIX/" ZOV_TEST_LIBDIR "/" ZOV_TEST_CLIENT_SONAME ")";

INSTANTIATE_TEST_SUITE_P(
    Cases, RunnerLocation,
    ::testing::Values(
        LocationCase{"BesideTheLibrary", Runner::executable, false, std::nullopt, installed},
        // A merged /usr loads libraries through /lib, a link to /usr/lib.
        LocationCase{"BesideTheLibraryLoadedThroughALink", Runner::executable, true, std::nullopt,
                     installed},
        LocationCase{"MissingBesideTheLibrary", Runner::missing, false, std::nullopt,
                     "error: No plugin runner at " + installed + beside +
                         ": No such file or directory"},
        LocationCase{"NotExecutable", Runner::notExecutable, false, std::nullopt,
                     "error: The plugin runner " + installed + beside +
                         " is not an executable file: Permission denied"},
        LocationCase{"ADirectory", Runner::directory, false, std::nullopt,
                     "error: The plugin runner " + installed + beside +
                         " is not an executable file: Permission denied"},
        LocationCase{"NamedByTheEnvironment", Runner::missing, false, "/bin/true", "/bin/true"},
        LocationCase{"NamedByTheEnvironmentButMissing", Runner::executable, false,
                     "/nonexistent/ZovPluginHost",
                     "error: No plugin runner at /nonexistent/ZovPluginHost (named by "
                     "ZOV_PLUGIN_HOST): No such file or directory"},
        LocationCase{"NamedByTheEnvironmentButNotExecutable", Runner::notExecutable, false,
                     "RUNNER",
                     "error: The plugin runner " + installed +
                         " (named by ZOV_PLUGIN_HOST) is not an executable file: Permission "
                         "denied"},
        LocationCase{"EmptyEnvironmentVariableIsUnset", Runner::executable, false, "", installed}),
    CaseName());

} // namespace
} // namespace zov::test
