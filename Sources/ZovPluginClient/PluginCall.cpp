#include "RunnerCall.h"

#include "ChannelProtocol.h"
#include "LineDecoder.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <pthread.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zov::client {

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// Whether `text` is one complete JSON text (validated in full, UTF-8 included).
bool isJson(std::string_view text) {
    simdjson::dom::parser parser;
    const simdjson::padded_string padded(text);
    const simdjson::error_code error = parser.parse(padded).error();
    // simdjson stops at a fixed nesting depth; the slower parser has no such limit.
    if (error == simdjson::DEPTH_ERROR)
        return json::accept(text);
    return error == simdjson::SUCCESS;
}

std::string jsonString(std::string_view text) {
    return json(std::string(text)).dump(-1, ' ', false, json::error_handler_t::replace);
}

// A write to a runner that has gone must fail with EPIPE, not end the host:
// SIGPIPE is blocked on this thread for the call, and one that our writes
// raised is taken back before the old mask returns.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~SigpipeGuard() {
        if (!wasPending_) {
            const timespec zero{};
            while (sigtimedwait(&pipe_, nullptr, &zero) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t pipe_{};
    sigset_t old_{};
    bool wasPending_ = false;
};

std::string describeWaitStatus(int status) {
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("signal ") + strsignal(WTERMSIG(status));
    return "wait status " + std::to_string(status);
}

// The conversation with one runner, driven by poll over its three pipes and
// its process descriptor.
class Exchange {
public:
    Exchange(RunnerProcess& runner, const CallOptions& options)
        : runner_(runner), options_(options) {}

    Outcome run(std::string_view request) {
        start_ = Clock::now();
        const auto deadline = start_ + options_.timeLimit;
        const bool limited = options_.timeLimit.count() > 0;
        requestPending_ = request;
        replies_ = "\n";
        ::fcntl(runner_.input(), F_SETFL, ::fcntl(runner_.input(), F_GETFL) | O_NONBLOCK);
        const int pidfd = runner_.processFd();

        bool exited = false;
        while (runner_.output() >= 0 || runner_.errors() >= 0 || !exited) {
            pollfd fds[4] = {{runner_.output(), POLLIN, 0},
                             {runner_.errors(), POLLIN, 0},
                             {hasPendingInput() ? runner_.input() : -1, POLLOUT, 0},
                             {exited ? -1 : pidfd, POLLIN, 0}};
            int timeout = -1;
            if (limited) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
                timeout =
                    static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
            }
            const int ready = ::poll(fds, 4, timeout);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready == 0) {
                outcome_.timedOut = true;
                runner_.kill();
                break;
            }
            if (fds[2].revents != 0)
                writeInput();
            if (fds[0].revents != 0)
                readOutput();
            if (fds[1].revents != 0)
                readErrors();
            if (fds[3].revents != 0 || pidfd < 0)
                exited = pidfd < 0 || runner_.hasExited();
        }
        outcome_.waitStatus = runner_.wait();
        outcome_.untilExit = Clock::now() - start_;
        runner_.closeInput();
        return finish();
    }

private:
    bool hasPendingInput() const {
        return runner_.input() >= 0 && (!requestPending_.empty() || replyOffset_ < replies_.size());
    }

    void writeInput() {
        while (hasPendingInput()) {
            std::string_view bytes = !requestPending_.empty()
                                         ? requestPending_
                                         : std::string_view(replies_).substr(replyOffset_);
            const ssize_t count = ::write(runner_.input(), bytes.data(), bytes.size());
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN)
                    return;
                // The runner no longer reads: nothing more can reach it.
                runner_.closeInput();
                return;
            }
            if (!requestPending_.empty())
                requestPending_.remove_prefix(static_cast<size_t>(count));
            else
                replyOffset_ += static_cast<size_t>(count);
        }
        replies_.clear();
        replyOffset_ = 0;
        if (closeInputWhenWritten_)
            runner_.closeInput();
    }

    void readOutput() {
        const ssize_t count = ::read(runner_.output(), chunk_.get(), chunkSize);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (count <= 0) {
            runner_.closeOutput();
            return;
        }
        const size_t scanFrom = output_.size();
        // Keep room for the decoder's padding after whatever arrives.
        output_.reserve(scanFrom + static_cast<size_t>(count) + LineDecoder::padding);
        output_.append(chunk_.get(), static_cast<size_t>(count));
        for (size_t feed = output_.find('\n', scanFrom); feed != std::string::npos;
             feed = output_.find('\n')) {
            // The line keeps the buffer (no copy of a long line); what follows
            // it starts the next one.
            std::string rest = output_.substr(feed + 1);
            rest.reserve(rest.size() + LineDecoder::padding);
            output_.resize(feed);
            handleLine(std::exchange(output_, std::move(rest)));
        }
    }

    void readErrors() {
        char chunk[4096];
        const ssize_t count = ::read(runner_.errors(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            return;
        if (count <= 0) {
            runner_.closeErrors();
            return;
        }
        outcome_.errorOutput.append(chunk, static_cast<size_t>(count));
    }

    void protocolFault(const std::string& what) {
        if (fault_.empty())
            fault_ = what;
    }

    void handleLine(std::string line) {
        std::optional<RunnerMessage> message = decoder_.decode(line);
        outcome_.lines.push_back(std::move(line));
        const auto member = [&](const char* name) -> std::string* {
            if (!message)
                return nullptr;
            const auto found = message->strings.find(name);
            return found == message->strings.end() ? nullptr : &found->second;
        };
        const std::string* type = member(channel::member::type);
        if (!type) {
            protocolFault("The runner wrote a line that is not a message: " +
                          outcome_.lines.back().substr(0, 200));
            return;
        }
        if (finalSeen_) {
            protocolFault("The runner wrote a line after its final line");
            return;
        }
        if (*type == channel::type::fetch) {
            const std::string* request = member(channel::member::request);
            if (!request) {
                protocolFault("The runner wrote a fetch line without a request");
                return;
            }
            answerFetch(*request);
        } else if (*type == channel::type::result) {
            std::string* result = member(channel::member::json);
            if (!result) {
                protocolFault("The runner wrote a result line without JSON text");
                return;
            }
            finalLine();
            outcome_.kind = Outcome::Kind::Result;
            outcome_.json = std::move(*result);
        } else if (*type == channel::type::error) {
            std::string* description = member(channel::member::message);
            if (!description || !message->state) {
                protocolFault("The runner wrote an error line without a message and a state");
                return;
            }
            finalLine();
            outcome_.kind = Outcome::Kind::Error;
            outcome_.message = std::move(*description);
            outcome_.state = *message->state;
        } else {
            protocolFault("The runner wrote a line of unknown type \"" + *type + "\"");
        }
    }

    void finalLine() {
        finalSeen_ = true;
        outcome_.untilFinalLine = Clock::now() - start_;
    }

    void answerFetch(const std::string& request) {
        std::optional<std::string> reply;
        if (options_.onFetch)
            reply = options_.onFetch(request);
        if (runner_.input() < 0)
            return;
        if (!reply) {
            closeInputWhenWritten_ = true;
            if (!hasPendingInput())
                runner_.closeInput();
            return;
        }
        replies_ += *reply;
        replies_ += '\n';
        writeInput();
    }

    Outcome finish() {
        outcome_.unterminatedOutput = std::move(output_);
        const int status = outcome_.waitStatus;
        std::string problem;
        if (outcome_.timedOut)
            problem = "The plugin runner took longer than " +
                      std::to_string(options_.timeLimit.count()) + " ms and was stopped";
        else if (!fault_.empty())
            problem = fault_;
        else if (!outcome_.unterminatedOutput.empty())
            problem = "The plugin runner's output ended inside a line";
        else if (!finalSeen_)
            problem =
                "The plugin runner ended without a final line (" + describeWaitStatus(status) + ")";
        else if (outcome_.kind == Outcome::Kind::Result &&
                 !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            problem =
                "The plugin runner wrote a result but ended with " + describeWaitStatus(status);
        else if (outcome_.kind == Outcome::Kind::Error &&
                 !(WIFEXITED(status) && WEXITSTATUS(status) == 1))
            problem =
                "The plugin runner wrote an error but ended with " + describeWaitStatus(status);
        if (!problem.empty()) {
            outcome_.kind = Outcome::Kind::Failure;
            outcome_.message = std::move(problem);
        }
        return std::move(outcome_);
    }

    RunnerProcess& runner_;
    const CallOptions& options_;
    Clock::time_point start_;
    SigpipeGuard sigpipeGuard_;
    Outcome outcome_;
    std::string_view requestPending_; // the caller's request, not yet written
    std::string replies_;             // line feed after the request, then reply lines
    size_t replyOffset_ = 0;
    bool closeInputWhenWritten_ = false;
    static constexpr size_t chunkSize = size_t{1} << 20;
    std::unique_ptr<char[]> chunk_{new char[chunkSize]}; // each read lands here first
    std::string output_; // standard output after the last complete line
    LineDecoder decoder_;
    bool finalSeen_ = false;
    std::string fault_;
};

} // namespace

std::string requestLine(std::string_view script, std::string_view method,
                        std::optional<std::string_view> inputJson) {
    using namespace channel;
    const auto key = [](std::string_view name) { return "\"" + std::string(name) + "\":"; };
    std::string line = "{";
    if (inputJson) {
        if (!isJson(*inputJson))
            throw std::invalid_argument("The input is not JSON text");
        line += key(member::input);
        // A line break in JSON text is white space; it must not end the line.
        for (const char byte : *inputJson)
            line += byte == '\n' || byte == '\r' ? ' ' : byte;
        line += ',';
    }
    line += key(member::method) + jsonString(method) + "," + key(member::script) +
            jsonString(script) + "}";
    return line;
}

Outcome call(RunnerProcess runner, std::string_view request, const CallOptions& options) {
    return Exchange(runner, options).run(request);
}

Outcome call(std::string_view request, const CallOptions& options, const RunnerCommand& runner) {
    return call(RunnerProcess::start(runner), request, options);
}

} // namespace zov::client
