#include "Reaper.h"

#include "UniqueFd.h"
#include "WaitStatus.h"

#include <algorithm>
#include <cstdint>
#include <list>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zov::client {

namespace {

using Clock = std::chrono::steady_clock;

// What standard error may hand on to RunnerExit::errorOutput; the rest is read and dropped.
constexpr size_t keptErrorOutput = size_t{64} << 10;

struct Pending {
    RunnerProcess runner;
    int expectedStatus;
    Clock::time_point start;
    Clock::time_point deadline;
    std::chrono::milliseconds grace;
    std::function<void(const RunnerExit&)> onExit;
    std::promise<RunnerExit> promise;
    RunnerExit exit;
};

// One thread for the whole library, started on first use and never stopped: it only waits, and
// a host that ends takes its runners with it.
class Reaper {
public:
    static Reaper& instance() {
        static Reaper* const reaper = new Reaper;
        return *reaper;
    }

    std::shared_future<RunnerExit> add(Pending pending) {
        std::shared_future<RunnerExit> exit = pending.promise.get_future().share();
        {
            const std::lock_guard lock(mutex_);
            incoming_.push_back(std::move(pending));
        }
        const uint64_t one = 1;
        // A full counter wakes the thread all the same.
        [[maybe_unused]] const ssize_t written = ::write(wake_.get(), &one, sizeof one);
        return exit;
    }

private:
    Reaper() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (!wake_)
            throw std::system_error(errno, std::generic_category(), "eventfd");
        std::thread([this] { run(); }).detach();
    }

    void run() {
        std::list<Pending> pending;
        for (;;) {
            {
                const std::lock_guard lock(mutex_);
                for (Pending& added : incoming_)
                    pending.push_back(std::move(added));
                incoming_.clear();
            }
            std::vector<pollfd> fds{{wake_.get(), POLLIN, 0}};
            auto wakeAt = Clock::time_point::max();
            for (Pending& runner : pending) {
                fds.push_back({runner.runner.processFd(), POLLIN, 0});
                fds.push_back({runner.runner.output(), POLLIN, 0});
                fds.push_back({runner.runner.errors(), POLLIN, 0});
                wakeAt = std::min(wakeAt, runner.deadline);
            }
            int timeout = -1;
            if (wakeAt != Clock::time_point::max()) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(wakeAt - Clock::now());
                timeout =
                    static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
            }
            ::poll(fds.data(), fds.size(), timeout);
            uint64_t wakeUps = 0;
            [[maybe_unused]] const ssize_t read = ::read(wake_.get(), &wakeUps, sizeof wakeUps);
            size_t index = 1;
            for (auto it = pending.begin(); it != pending.end(); index += 3) {
                if (fds[index + 1].revents != 0)
                    drainOutput(*it);
                if (fds[index + 2].revents != 0)
                    drainErrors(*it);
                if (fds[index].revents != 0 || it->runner.processFd() < 0)
                    it = finish(pending, it, reap(it->runner));
                else if (Clock::now() >= it->deadline)
                    it = finish(pending, it, lingered(*it));
                else
                    ++it;
            }
        }
    }

    // Anything on standard output after the final line breaks the protocol; it is read and
    // dropped so that the runner cannot block on a full pipe.
    static void drainOutput(Pending& runner) {
        char chunk[1 << 16];
        const ssize_t count = ::read(runner.runner.output(), chunk, sizeof chunk);
        if (count == 0)
            runner.runner.closeOutput();
        if (count > 0 && runner.exit.problem.empty())
            runner.exit.problem = "The plugin runner wrote more after its final line";
    }

    static void drainErrors(Pending& runner) {
        char chunk[1 << 16];
        const ssize_t count = ::read(runner.runner.errors(), chunk, sizeof chunk);
        if (count == 0)
            runner.runner.closeErrors();
        std::string& kept = runner.exit.errorOutput;
        if (count > 0)
            kept.append(chunk, std::min(static_cast<size_t>(count), keptErrorOutput - kept.size()));
    }

    static int reap(RunnerProcess& runner) {
        try {
            return runner.wait();
        } catch (const std::system_error&) {
            return -1; // reaped by someone else: its status is lost
        }
    }

    static int lingered(Pending& runner) {
        if (runner.exit.problem.empty())
            runner.exit.problem = "The plugin runner did not end within " +
                                  std::to_string(runner.grace.count()) +
                                  " ms of its final line and was stopped";
        runner.runner.kill();
        return reap(runner.runner);
    }

    static std::list<Pending>::iterator finish(std::list<Pending>& pending,
                                               std::list<Pending>::iterator it, int status) {
        RunnerExit& exit = it->exit;
        exit.waitStatus = status;
        exit.untilExit = Clock::now() - it->start;
        if (exit.problem.empty())
            exit.problem = exitProblem(status, it->expectedStatus);
        it->promise.set_value(exit);
        if (it->onExit) {
            try {
                it->onExit(exit);
            } catch (...) {
                // The caller's callback must not end the library's thread.
            }
        }
        return pending.erase(it);
    }

    std::mutex mutex_;
    std::vector<Pending> incoming_; // guarded by mutex_
    UniqueFd wake_;
};

} // namespace

std::shared_future<RunnerExit> reapInBackground(RunnerProcess runner, int expectedStatus,
                                                std::chrono::steady_clock::time_point start,
                                                std::function<void(const RunnerExit&)> onExit,
                                                std::chrono::milliseconds grace) {
    const auto now = Clock::now();
    return Reaper::instance().add(Pending{
        std::move(runner), expectedStatus, start, now + grace, grace, std::move(onExit), {}, {}});
}

} // namespace zov::client
