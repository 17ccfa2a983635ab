#pragma once

// One plugin call as a host makes it: the request line in, each fetch line
// answered, the final line out; the runner is reaped in the background.

#include <zov/PluginClientExport.h>
#include <zov/RunnerCommand.h>
#include <zov/RunnerSettings.h>

#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zov::client {

// The host's answer to one fetch line (given the `request` text): the reply
// line without its line feed, or none to close the runner's standard input.
// JSON text may hold line breaks, which go as spaces; a reply that holds one
// and is not JSON text fails the call.
using FetchHandler = std::function<std::optional<std::string>(const std::string& request)>;

// How a runner ended, learnt once it has been reaped.
struct RunnerExit {
    // Its wait status, or -1 when it could not be learnt.
    int waitStatus = -1;
    // What was wrong with the end of a runner whose final line the call returned: an exit status
    // that does not match the line (0 after a result, 1 after an error), more output after the
    // line, or no end within moments of it (the runner is then killed). Empty when nothing was.
    std::string problem;
    // What the runner wrote on standard error after its final line, up to 64 KiB.
    std::string errorOutput;
    // From the first byte of the request to the runner's end.
    std::chrono::nanoseconds untilExit{0};
};

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
    // Called, on the library's own thread, once the runner of a call that returned at its final
    // line has ended; with what Outcome::exit then holds.
    std::function<void(const RunnerExit&)> onExit;
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
    // Whether the time limit killed the runner, and whether it wrote more than CallOptions allows.
    bool timedOut = false;
    bool outputLimitExceeded = false;
    // Whether the runner was killed for exceeding its memory limit; what held it to the limit,
    // and the limit in bytes (zero: none).
    bool memoryLimitExceeded = false;
    MemoryBound memoryBound = MemoryBound::None;
    size_t memoryLimitBytes = 0;
    // From the first byte of the request to the final line.
    std::chrono::nanoseconds untilFinalLine{0};

    // The runner's end. A call returns as soon as it has read and checked the final line; the
    // runner is reaped in the background, and this becomes ready then. A call that failed waited
    // for the runner's end already.
    std::shared_future<RunnerExit> exit;

    bool succeeded() const { return kind == Kind::Result; }
    // Waits for the runner's end; its wait status, or -1 when it could not be learnt.
    int waitStatus() const { return exit.valid() ? exit.get().waitStatus : -1; }
};

// A request line (without line feed) for the method `method` of the plugin
// `script`. `inputJson` is JSON text, copied as it stands; none leaves `input` out.
ZOV_PLUGIN_CLIENT_EXPORT std::string
requestLine(std::string_view script, std::string_view method,
            std::optional<std::string_view> inputJson = std::nullopt);

// Starts a runner and runs one call on it: writes `request` (one line,
// without line feed), answers fetches, and returns at the final line; the
// runner's end follows in Outcome::exit. Throws std::system_error when no
// runner can be started.
ZOV_PLUGIN_CLIENT_EXPORT Outcome call(std::string_view request, const CallOptions& options,
                                      const RunnerCommand& runner = {});

} // namespace zov::client
