#pragma once

// One plugin call as a host makes it: the request line in, each fetch line
// answered, the final line and the exit status out.

#include "RunnerProcess.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zov::client {

// The host's answer to one fetch line (given the `request` text): the reply
// line without its line feed, or none to close the runner's standard input.
using FetchHandler = std::function<std::optional<std::string>(const std::string& request)>;

struct CallOptions {
    // Answers fetch lines; without one, the runner's input is closed at the
    // first fetch, which the plugin sees as a closed session.
    FetchHandler onFetch;
    // A runner still busy after this long is killed; zero means no limit.
    std::chrono::milliseconds timeLimit{0};
    // The longest line the runner may write, a fetch line or the final line, and the most it may
    // write on standard error. A runner that writes more is killed and the call fails, before
    // the host holds more than this.
    size_t maxLineBytes = size_t{512} << 20;
    size_t maxErrorOutputBytes = size_t{1} << 20;
    // Keeps the lines the runner wrote in Outcome::transcript, up to this many bytes in all;
    // none are kept by default.
    size_t transcriptBytes = 0;
    // For a runner that the call starts itself: its memory limit, and whether its engine
    // compiles to machine code. A pool's runners have the pool's.
    MemoryLimit memoryLimit = {};
    bool jit = RunnerSettings{}.jit;
};

struct Outcome {
    enum class Kind {
        Result,  // a result line and exit status 0
        Error,   // an error line and exit status 1
        Failure, // anything else: no final line, a killed runner, a broken protocol
    };
    Kind kind = Kind::Failure;
    std::string json;    // Result: the method's result as JSON text
    std::string message; // Error: the error's message; Failure: what went wrong
    std::map<std::string, std::string> state; // Error: the plugin state

    // The lines the runner wrote, without their line feeds, as far as
    // CallOptions::transcriptBytes allows; whether some were left out.
    std::vector<std::string> transcript;
    bool transcriptCut = false;
    // Bytes after the last line feed on standard output, and all of standard error.
    std::string unterminatedOutput;
    std::string errorOutput;
    // The runner's wait status (unknownWaitStatus when the host ignores SIGCHLD or reaped the
    // runner elsewhere, and the kernel reaped it); whether the time limit killed it, and whether
    // it wrote more than CallOptions allows.
    static constexpr int unknownWaitStatus = -1;
    int waitStatus = unknownWaitStatus;
    bool timedOut = false;
    bool outputLimitExceeded = false;
    // Whether the runner was killed for exceeding its memory limit; what held it to the limit,
    // and the limit in bytes (zero: none).
    bool memoryLimitExceeded = false;
    MemoryBound memoryBound = MemoryBound::None;
    size_t memoryLimitBytes = 0;
    // From the first byte of the request to the final line, and to the
    // runner's end.
    std::chrono::nanoseconds untilFinalLine{0};
    std::chrono::nanoseconds untilExit{0};

    bool succeeded() const { return kind == Kind::Result; }
};

// A request line (without line feed) for the method `method` of the plugin
// `script`. `inputJson` is JSON text, copied as it stands; none leaves `input` out.
std::string requestLine(std::string_view script, std::string_view method,
                        std::optional<std::string_view> inputJson = std::nullopt);

// Runs one call on a runner already started: writes `request` (one line,
// without line feed), answers fetches, and reaps the runner.
Outcome call(RunnerProcess runner, std::string_view request, const CallOptions& options);

// Starts a runner and runs one call on it.
Outcome call(std::string_view request, const CallOptions& options,
             const RunnerCommand& runner = {});

} // namespace zov::client
