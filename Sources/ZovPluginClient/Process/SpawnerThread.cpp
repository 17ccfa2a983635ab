#include "SpawnerThread.h"

#include "ThreadOfThisProcess.h"

#include <condition_variable>
#include <csignal>
#include <deque>
#include <exception>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace zov::client {

namespace {

class Spawner {
public:
    Spawner() {
        // Blocked before the thread exists, so that no signal handler of the host ever runs on
        // it, nor in a child between its start and its exec.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        std::thread([this] { serve(); }).detach();
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }

    void run(const std::function<void()>& task) {
        Job job{&task, nullptr, false};
        std::unique_lock lock(mutex_);
        queue_.push_back(&job);
        work_.notify_one();
        done_.wait(lock, [&] { return job.done; });
        if (job.failure)
            std::rethrow_exception(job.failure);
    }

private:
    struct Job {
        const std::function<void()>* task;
        std::exception_ptr failure;
        bool done = false;
    };

    [[noreturn]] void serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [&] { return !queue_.empty(); });
            Job* job = queue_.front();
            queue_.pop_front();
            lock.unlock();
            try {
                (*job->task)();
            } catch (...) {
                job->failure = std::current_exception();
            }
            lock.lock();
            job->done = true;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<Job*> queue_; // guarded by mutex_
};

} // namespace

void runOnSpawnerThread(const std::function<void()>& task) {
    threadOfThisProcess<Spawner>().run(task);
}

} // namespace zov::client
