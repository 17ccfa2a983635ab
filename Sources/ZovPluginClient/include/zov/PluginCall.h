#pragma once

// One plugin call as a host makes it: the request line in, each fetch line
// answered, the final line and the exit status out.

#include <zov/PluginClientExport.h>
#include <zov/RunnerCommand.h>

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

    // Everything the runner wrote, line by line without line feeds.
    std::vector<std::string> lines;
    // Bytes after the last line feed on standard output, and all of standard error.
    std::string unterminatedOutput;
    std::string errorOutput;
    // The runner's wait status, and whether the time limit killed it.
    int waitStatus = -1;
    bool timedOut = false;
    // From the first byte of the request to the final line, and to the
    // runner's end.
    std::chrono::nanoseconds untilFinalLine{0};
    std::chrono::nanoseconds untilExit{0};

    bool succeeded() const { return kind == Kind::Result; }
};

// A request line (without line feed) for the method `method` of the plugin
// `script`. `inputJson` is JSON text, copied as it stands; none leaves `input` out.
ZOV_PLUGIN_CLIENT_EXPORT std::string
requestLine(std::string_view script, std::string_view method,
            std::optional<std::string_view> inputJson = std::nullopt);

// Starts a runner and runs one call on it: writes `request` (one line,
// without line feed), answers fetches, and reaps the runner. Throws
// std::system_error when no runner can be started.
ZOV_PLUGIN_CLIENT_EXPORT Outcome call(std::string_view request, const CallOptions& options,
                                      const RunnerCommand& runner = {});

} // namespace zov::client
