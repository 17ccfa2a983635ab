#include "ConfinedChild.h"

#include "RunnerError.h"
#include "Sandbox.h"
#include "Utf.h"

#include <array>
#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zov::testing {

namespace {

std::array<int, 2> makePipe() {
    std::array<int, 2> ends{};
    if (::pipe(ends.data()) != 0)
        throw std::runtime_error("pipe failed");
    return ends;
}

// Reads both pipes to their end, whichever the child fills first.
void readBoth(int output, int errors, ChildRun& run) {
    std::array<pollfd, 2> fds{{{output, POLLIN, 0}, {errors, POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&run.output, &run.errors};
    int open = 2;
    while (open > 0) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char chunk[4096];
            const ssize_t count = ::read(fds[i].fd, chunk, sizeof chunk);
            if (count > 0) {
                sinks[i]->append(chunk, static_cast<size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

} // namespace

ChildRun runInChild(const std::function<void()>& child) {
    std::array<int, 2> input = makePipe();
    std::array<int, 2> output = makePipe();
    std::array<int, 2> errors = makePipe();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(input[0], STDIN_FILENO);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(errors[1], STDERR_FILENO);
        for (int fd : {input[0], input[1], output[0], output[1], errors[0], errors[1]})
            ::close(fd);
        try {
            child();
        } catch (...) {
            _exit(5);
        }
        _exit(0);
    }
    for (int fd : {input[0], input[1], output[1], errors[1]})
        ::close(fd);
    ChildRun run;
    readBoth(output[0], errors[0], run);
    ::close(output[0]);
    ::close(errors[0]);
    while (::waitpid(pid, &run.waitStatus, 0) < 0 && errno == EINTR) {
    }
    return run;
}

bool ChildRun::exitedCleanly() const {
    return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
}

std::ostream& operator<<(std::ostream& stream, const ChildRun& run) {
    return stream << "wait status " << run.waitStatus << ", output \"" << run.output
                  << "\", errors \"" << run.errors << "\"";
}

ChildRun runConfined(const ContextStep& body, const ContextStep& beforeSandbox) {
    return runInChild([&] {
        prepareSandbox();
        std::unique_ptr<engine::Context> context = engine::Context::create();
        if (beforeSandbox)
            beforeSandbox(*context);
        try {
            enterSandbox(*context);
        } catch (const RunnerError& error) {
            say(error.what());
            _exit(3);
        }
        body(*context);
        // Like the runner, the child ends without tearing the engine down.
        _exit(0);
    });
}

ChildRun runUnconfined(const ContextStep& body) {
    return runInChild([&] {
        std::unique_ptr<engine::Context> context = engine::Context::create();
        body(*context);
        _exit(0);
    });
}

void say(std::string_view text) {
    while (!text.empty()) {
        const ssize_t count = ::write(STDOUT_FILENO, text.data(), text.size());
        if (count <= 0)
            _exit(4);
        text.remove_prefix(static_cast<size_t>(count));
    }
}

std::string evaluateToString(engine::Context& context, std::string_view script) {
    std::string thrown;
    context.setExceptionHandler([&](engine::Context& engine, const engine::Value* exception) {
        std::optional<engine::String> text;
        if (exception)
            text = engine.toString(*exception);
        thrown = "threw: " + (text ? utf16ToUtf8(text->view()) : std::string("?"));
    });
    const std::optional<engine::Value> value =
        context.evaluate(engine::String::fromUtf16(utf8ToUtf16(script)));
    context.setExceptionHandler({});
    if (!thrown.empty())
        return thrown;
    std::optional<engine::String> text;
    if (value)
        text = context.toString(*value);
    return text ? utf16ToUtf8(text->view()) : "no value";
}

} // namespace zov::testing
