#pragma once

// Drives the built ZovPluginHost through the host-side client, as a host would.

#include "SpawnedChild.h"
#include "UniqueFd.h"
#include "WriteAll.h"

#include <zov/PluginCall.h>
#include <zov/RunnerLocation.h>

#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <optional>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zov::test {

using client::Outcome;

// A host that answers fetches from a list of reply lines and records every
// request. When the list runs out it closes the runner's input.
struct ScriptedHost {
    std::deque<std::optional<std::string>> replies;
    std::vector<std::string> requests;

    client::FetchHandler handler() {
        return [this](const std::string& request) -> std::optional<std::string> {
            requests.push_back(request);
            if (replies.empty())
                return std::nullopt;
            std::optional<std::string> reply = std::move(replies.front());
            replies.pop_front();
            return reply;
        };
    }
};

inline client::CallOptions options(client::FetchHandler onFetch = {}) {
    client::CallOptions callOptions;
    callOptions.onFetch = std::move(onFetch);
    // Generous: only a hung runner ever reaches it.
    callOptions.timeLimit = std::chrono::seconds(120);
    // Every line, to judge the conversation by.
    callOptions.transcriptBytes = size_t{1} << 30;
    return callOptions;
}

// Checks what holds for every run: nothing on standard error, every line
// complete, and the final line last.
inline void expectWellFormed(const Outcome& outcome) {
    EXPECT_EQ(outcome.errorOutput, "");
    EXPECT_EQ(outcome.unterminatedOutput, "");
    EXPECT_FALSE(outcome.timedOut);
    EXPECT_NE(outcome.kind, Outcome::Kind::Failure) << outcome.message;
}

// Sends a raw request line (without its line feed).
inline Outcome runRequest(std::string_view request, client::FetchHandler onFetch = {}) {
    Outcome outcome = client::call(request, options(std::move(onFetch)));
    expectWellFormed(outcome);
    return outcome;
}

// Calls `method` of the plugin whose source is `script`.
inline Outcome runPlugin(std::string_view script, std::string_view method,
                         std::optional<std::string_view> inputJson = std::nullopt,
                         client::FetchHandler onFetch = {}) {
    return runRequest(client::requestLine(script, method, inputJson), std::move(onFetch));
}

// The exact result line, line feed included, for JSON text in which only
// quotation marks need escaping.
inline std::string resultLineOf(std::string_view json) {
    std::string line = "{\"json\":\"";
    for (const char byte : json) {
        if (byte == '"')
            line += '\\';
        line += byte;
    }
    return line + "\",\"type\":\"result\"}\n";
}

// The exact error line, line feed included, with an empty state, for a
// message in which nothing needs escaping.
inline std::string errorLineOf(std::string_view message) {
    return "{\"message\":\"" + std::string(message) + "\",\"state\":{},\"type\":\"error\"}\n";
}

// A plugin with one method `m` whose body is `body`.
inline std::string method(std::string_view body) {
    return "return {m(input) {\n" + std::string(body) + "\n}};";
}

// What a runner wrote on its standard output and error, and how it ended.
struct RawRun {
    std::string output;
    std::string errors;
    int waitStatus = -1;
};

// Runs `runner` with standard input from `input`, a descriptor it gets a copy of, and reads its
// output to the end; with `closeOutput`, the host closes its end of the runner's standard output
// before anything is written to it.
inline RawRun runWithInput(const std::string& runner, int input, bool closeOutput = false) {
    SpawnedChild child = spawnChild({runner}, std::nullopt, input);
    if (closeOutput)
        child.pipes.closeOutput();
    child.pipes.readToEnd();
    return {std::move(child.pipes.output), std::move(child.pipes.errors), child.wait()};
}

// For a thread that writes to a runner: a runner that stops reading must not
// end the test by SIGPIPE; the write fails with EPIPE instead.
inline void blockPipeSignalOnThisThread() {
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
}

// What a runner wrote when given exactly `input` on standard input (no line
// feed added), with its standard input closed afterwards.
inline RawRun runRaw(std::string_view input, bool closeOutput = false) {
    Pipe pipe = makePipe();
    std::thread writer([&] {
        blockPipeSignalOnThisThread();
        writeAll(pipe.write.get(), input);
        pipe.write.reset();
    });
    RawRun run = runWithInput(client::defaultRunnerPath(), pipe.read.get(), closeOutput);
    pipe.read.reset();
    writer.join();
    return run;
}

} // namespace zov::test
