#include "RunnerProcess.h"

#include "ChildLaunch.h"
#include "RunnerEnvironment.h"
#include "RunnerMemory.h"

#include <cmath>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

namespace zov::client {

namespace {

constexpr int pipeSize = 1 << 20;

} // namespace

RunnerProcess RunnerProcess::start(const RunnerCommand& command, const RunnerSettings& settings) {
    // Every end is closed on exec: only the copies on the runner's standard streams reach it, so
    // runners started from several threads never hold each other's pipes.
    Pipe input = makePipe();
    Pipe output = makePipe();
    Pipe errors = makePipe();
    // Large requests and results pass in fewer, larger steps. Only a wish: a system with a lower
    // limit keeps the default size.
    for (const UniqueFd* end : {&input.write, &output.read})
        ::fcntl(end->get(), F_SETPIPE_SZ, pipeSize);

    LaunchPlan plan;
    plan.path = command.path;
    plan.arguments.push_back(command.path);
    plan.arguments.insert(plan.arguments.end(), command.arguments.begin(), command.arguments.end());
    plan.environment = runnerEnvironment(settings.jit);
    plan.standardStreams[0] = input.read.get();
    plan.standardStreams[1] = output.write.get();
    plan.standardStreams[2] = errors.write.get();
    auto memory = std::make_unique<RunnerMemory>(settings.memoryLimit);
    std::optional<ChildProcess> process;
    while (!process) {
        plan.cgroupProcs = memory->cgroupProcs();
        plan.extraDescriptor = memory->readyDescriptor();
        try {
            process = launchChild(plan);
        } catch (const LaunchError& failure) {
            // A cgroup that could be made but not joined (on cgroup v2, a parent whose
            // delegation does not reach the host's own cgroup): the watch holds it instead.
            if (failure.step() != LaunchError::Step::JoinCgroup)
                throw;
            memory->useWatch();
        }
    }
    memory->started(*process);
    return RunnerProcess(std::move(memory), std::move(*process), std::move(input.write),
                         std::move(output.read), std::move(errors.read));
}

RunnerProcess::RunnerProcess(std::unique_ptr<RunnerMemory> memory, ChildProcess process,
                             UniqueFd input, UniqueFd output, UniqueFd errors)
    : memory_(std::move(memory)), process_(std::move(process)), input_(std::move(input)),
      output_(std::move(output)), errors_(std::move(errors)) {}

RunnerProcess::RunnerProcess(RunnerProcess&&) noexcept = default;
RunnerProcess::~RunnerProcess() = default;

RunnerProcess& RunnerProcess::operator=(RunnerProcess&& other) noexcept {
    if (this != &other) {
        // Killed and reaped as it goes, before its cgroup is removed.
        const RunnerProcess ended(std::move(*this));
        memory_ = std::move(other.memory_);
        process_ = std::move(other.process_);
        input_ = std::move(other.input_);
        output_ = std::move(other.output_);
        errors_ = std::move(other.errors_);
    }
    return *this;
}

bool RunnerProcess::hasExited() {
    const bool exited = process_.hasExited();
    if (exited)
        reaped();
    return exited;
}

int RunnerProcess::wait() {
    const int status = process_.wait();
    reaped();
    return status;
}

int RunnerProcess::kill() {
    const int status = process_.kill();
    reaped();
    return status;
}

void RunnerProcess::reaped() {
    if (memory_)
        memory_->reaped();
}

MemoryBound RunnerProcess::memoryBound() const {
    return memory_ ? memory_->bound() : MemoryBound::None;
}

size_t RunnerProcess::memoryLimit() const {
    return memory_ ? memory_->limit() : 0;
}

bool RunnerProcess::memoryLimitExceeded() const {
    return memory_ && memory_->exceeded();
}

void RunnerProcess::limitCpuTime(std::chrono::milliseconds timeLimit) {
    if (timeLimit.count() <= 0 || processFd() < 0)
        return;
    // A pooled runner has used CPU time to start, which counts against the limit too.
    clockid_t clock;
    timespec used{};
    if (::clock_getcpuclockid(pid(), &clock) != 0 || ::clock_gettime(clock, &used) != 0)
        return; // it has ended already
    const auto seconds = static_cast<rlim_t>(
        used.tv_sec + 1 + std::chrono::ceil<std::chrono::seconds>(timeLimit).count() + 1);
    // The hard limit as low as the soft one: SIGKILL at once rather than SIGXCPU first.
    const rlimit limit{seconds, seconds};
    ::prlimit(pid(), RLIMIT_CPU, &limit, nullptr);
}

} // namespace zov::client
