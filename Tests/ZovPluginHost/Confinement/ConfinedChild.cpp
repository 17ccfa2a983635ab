#include "ConfinedChild.h"

#include "ChildPipes.h"
#include "EngineSetup.h"
#include "RunnerError.h"
#include "Sandbox.h"
#include "UniqueFd.h"
#include "Utf.h"

#include <cerrno>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zov::test {

ChildRun runInChild(const std::function<void()>& child) {
    Pipe input = makePipe();
    Pipe output = makePipe();
    Pipe errors = makePipe();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::dup2(input.read.get(), STDIN_FILENO);
        ::dup2(output.write.get(), STDOUT_FILENO);
        ::dup2(errors.write.get(), STDERR_FILENO);
        input = {};
        output = {};
        errors = {};
        try {
            child();
        } catch (...) {
            _exit(5);
        }
        _exit(0);
    }
    input = {};
    output.write.reset();
    errors.write.reset();
    ChildPipes pipes(std::move(output.read), std::move(errors.read));
    pipes.readToEnd();
    ChildRun run{std::move(pipes.output), std::move(pipes.errors)};
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
        prepareEngine();
        std::unique_ptr<engine::Context> context = engine::Context::create();
        if (beforeSandbox)
            beforeSandbox(*context);
        try {
            enterSandbox(*context);
        } catch (const RunnerError& error) {
            say(error.message());
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

} // namespace zov::test
