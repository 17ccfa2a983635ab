#include "Exchange.h"

#include "ByteBuffer.h"
#include "ChannelProtocol.h"
#include "JsonText.h"
#include "LineDecoder.h"
#include "Reaper.h"
#include "WaitStatus.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zov::client {

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t mebibyte = size_t{1} << 20;

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

// What one read of the runner's standard output asks for: as much as its pipe holds.
constexpr size_t readSize = size_t{1} << 20;

// Driven by poll over the runner's three pipes and its process descriptor. The deadline is
// checked at every wake-up, and every buffer that the runner fills is bounded.
class Exchange {
public:
    Exchange(RunnerProcess runner, const CallOptions& options)
        : runner_(std::move(runner)), options_(options) {}

    Outcome run(std::string_view request) {
        start_ = Clock::now();
        requestPending_ = request;
        replies_ = "\n";
        ::fcntl(runner_.input(), F_SETFL, ::fcntl(runner_.input(), F_GETFL) | O_NONBLOCK);
        while (runner_.output() >= 0 || runner_.errors() >= 0 || !exited_) {
            if (finalSeen_ && fault_.empty() && output_.size() == 0)
                return returnAtFinalLine();
            if (pastDeadline()) {
                outcome_.timedOut = true;
                stop();
                break;
            }
            if (outcome_.outputLimitExceeded || refusedReply_) {
                stop();
                break;
            }
            pollfd fds[4] = {{runner_.output(), POLLIN, 0},
                             {runner_.errors(), POLLIN, 0},
                             {hasPendingInput() ? runner_.input() : -1, POLLOUT, 0},
                             {exited_ ? -1 : runner_.processFd(), POLLIN, 0}};
            if (::poll(fds, 4, pollTimeout()) < 0)
                continue; // EINTR; nothing else can fail here
            if (fds[2].revents != 0)
                writeInput();
            if (fds[0].revents != 0)
                readOutput();
            if (fds[1].revents != 0)
                readErrors();
            if (fds[3].revents != 0 || runner_.processFd() < 0)
                exited_ = runner_.hasExited();
        }
        RunnerExit exit;
        exit.waitStatus = runner_.wait();
        exit.untilExit = Clock::now() - start_;
        runner_.closeInput();
        return finish(std::move(exit));
    }

private:
    bool limited() const { return options_.timeLimit.count() > 0; }

    bool pastDeadline() const { return limited() && Clock::now() - start_ >= options_.timeLimit; }

    // Until the deadline, or for ever without a time limit.
    int pollTimeout() const {
        if (!limited())
            return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(start_ + options_.timeLimit -
                                                                       Clock::now());
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }

    // Ends the runner at once; nothing more is read from it.
    void stop() {
        runner_.kill();
        runner_.closeOutput();
        runner_.closeErrors();
        exited_ = true;
    }

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

    // Reads into the buffer of pending output, hands on every complete line where it lies, and
    // keeps what follows the last line feed for the next read. The buffer holds at most one byte
    // more than the longest line allowed, which is how a longer one shows.
    void readOutput() {
        const size_t allowed =
            options_.maxLineBytes - std::min(options_.maxLineBytes, output_.size());
        const size_t room = std::min(readSize - 1, allowed) + 1;
        // The decoder reads a little past a line's end.
        output_.reserve(output_.size() + room + LineDecoder::padding);
        const ssize_t count = ::read(runner_.output(), output_.data() + output_.size(), room);
        if (count < 0)
            return; // EINTR or EAGAIN: poll again
        if (count == 0) {
            runner_.closeOutput();
            return;
        }
        const size_t scanFrom = output_.size();
        output_.resize(scanFrom + static_cast<size_t>(count));
        size_t lineStart = 0;
        for (const char* feed = static_cast<const char*>(
                 std::memchr(output_.data() + scanFrom, '\n', static_cast<size_t>(count)));
             feed != nullptr && !outcome_.outputLimitExceeded;
             feed = static_cast<const char*>(
                 std::memchr(feed + 1, '\n',
                             static_cast<size_t>(output_.data() + output_.size() - feed - 1)))) {
            const auto lineEnd = static_cast<size_t>(feed - output_.data());
            handleLine(std::string_view(output_.data() + lineStart, lineEnd - lineStart));
            lineStart = lineEnd + 1;
        }
        const size_t pending = output_.size() - lineStart;
        if (lineStart > 0) {
            std::memmove(output_.data(), output_.data() + lineStart, pending);
            output_.resize(pending);
        }
        if (pending > options_.maxLineBytes)
            outputLimit("The runner wrote a line longer than " +
                        std::to_string(options_.maxLineBytes) + " bytes");
    }

    void readErrors() {
        char chunk[4096];
        const ssize_t count = ::read(runner_.errors(), chunk, sizeof chunk);
        if (count < 0)
            return; // EINTR or EAGAIN: poll again
        if (count == 0) {
            runner_.closeErrors();
            return;
        }
        outcome_.errorOutput.append(chunk, static_cast<size_t>(count));
        if (outcome_.errorOutput.size() > options_.maxErrorOutputBytes)
            outputLimit("The runner wrote more than " +
                        std::to_string(options_.maxErrorOutputBytes) + " bytes on standard error");
    }

    void protocolFault(const std::string& what) {
        if (fault_.empty())
            fault_ = what;
    }

    // Output beyond the caller's bounds: the runner is stopped before the host holds more.
    void outputLimit(const std::string& what) {
        protocolFault(what);
        outcome_.outputLimitExceeded = true;
    }

    void keepInTranscript(std::string_view line) {
        if (transcriptBytes_ + line.size() > options_.transcriptBytes) {
            outcome_.transcriptCut = true;
            return;
        }
        transcriptBytes_ += line.size();
        outcome_.transcript.emplace_back(line);
    }

    // `line` is followed by LineDecoder::padding readable bytes.
    void handleLine(std::string_view line) {
        keepInTranscript(line);
        if (line.size() > options_.maxLineBytes) {
            outputLimit("The runner wrote a line longer than " +
                        std::to_string(options_.maxLineBytes) + " bytes");
            return;
        }
        std::optional<RunnerMessage> message = decoder_.decode(line);
        const auto member = [&](const char* name) -> std::string* {
            if (!message)
                return nullptr;
            const auto found = message->strings.find(name);
            return found == message->strings.end() ? nullptr : &found->second;
        };
        const std::string* type = member(channel::member::type);
        if (!type) {
            protocolFault("The runner wrote a line that is not a message: " +
                          std::string(line.substr(0, 200)));
            return;
        }
        if (finalSeen_) {
            protocolFault("The plugin runner wrote more after its final line");
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

    // The outcome as the final line gives it; the runner's end follows in the background.
    Outcome returnAtFinalLine() {
        const int expectedStatus = outcome_.kind == Outcome::Kind::Result ? 0 : 1;
        outcome_.memoryBound = runner_.memoryBound();
        outcome_.memoryLimitBytes = runner_.memoryLimit();
        runner_.closeInput();
        outcome_.exit =
            reapInBackground(std::move(runner_), expectedStatus, start_, options_.onExit);
        return std::move(outcome_);
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
        // The reply goes as one line. In JSON text a line break is white space, and becomes a
        // space; in anything else it would end the reply early, and the runner would take the
        // rest for the next one: the call fails instead.
        if (reply->find_first_of("\r\n") != std::string::npos) {
            if (!isJsonText(*reply)) {
                protocolFault("The host's fetch reply holds a line break and is not JSON text");
                refusedReply_ = true;
                return;
            }
            replaceLineBreaks(reply->data(), reply->data() + reply->size());
        }
        replies_ += *reply;
        replies_ += '\n';
        writeInput();
    }

    Outcome finish(RunnerExit exit) {
        outcome_.unterminatedOutput.assign(output_.view());
        outcome_.memoryLimitExceeded = runner_.memoryLimitExceeded();
        outcome_.memoryBound = runner_.memoryBound();
        outcome_.memoryLimitBytes = runner_.memoryLimit();
        const int status = exit.waitStatus;
        std::string problem;
        if (outcome_.memoryLimitExceeded)
            problem = "The plugin runner was stopped: memory limit of " +
                      std::to_string((outcome_.memoryLimitBytes + mebibyte - 1) / mebibyte) +
                      " MiB exceeded";
        else if (outcome_.timedOut)
            problem = "The plugin runner took longer than " +
                      std::to_string(options_.timeLimit.count()) + " ms and was stopped";
        else if (!fault_.empty())
            problem = fault_;
        else if (!outcome_.unterminatedOutput.empty())
            problem = "The plugin runner's output ended inside a line";
        else if (!finalSeen_)
            problem =
                "The plugin runner ended without a final line (" + describeWaitStatus(status) + ")";
        else
            problem = exitProblem(status, outcome_.kind == Outcome::Kind::Result ? 0 : 1);
        if (!problem.empty()) {
            outcome_.kind = Outcome::Kind::Failure;
            outcome_.message = problem;
            exit.problem = std::move(problem);
        }
        std::promise<RunnerExit> ended;
        ended.set_value(std::move(exit));
        outcome_.exit = ended.get_future().share();
        return std::move(outcome_);
    }

    RunnerProcess runner_;
    const CallOptions& options_;
    Clock::time_point start_;
    SigpipeGuard sigpipeGuard_;
    Outcome outcome_;
    bool exited_ = false;
    std::string_view requestPending_; // the caller's request, not yet written
    std::string replies_;             // line feed after the request, then reply lines
    size_t replyOffset_ = 0;
    bool closeInputWhenWritten_ = false;
    ByteBuffer output_; // standard output after the last complete line
    LineDecoder decoder_;
    size_t transcriptBytes_ = 0;
    bool finalSeen_ = false;
    std::string fault_;
    bool refusedReply_ = false; // a reply that cannot go as one line: the runner is stopped
};

} // namespace

Outcome exchange(RunnerProcess runner, std::string_view request, const CallOptions& options) {
    return Exchange(std::move(runner), options).run(request);
}

} // namespace zov::client
