#include "ChildLaunch.h"

#include "SpawnerThread.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/close_range.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zov::client {

namespace {

// What the child reports when a step failed; it then exits without starting the program.
struct ChildReport {
    volatile int failedStep;
    volatile int error;
};

// Everything the child reads, prepared before it starts.
struct ChildSteps {
    const char* path;
    char* const* argv;
    char* const* envp;
    int streams[4]; // the child's descriptors 0 to 3, each above 3 here; -1: none
    int cgroupProcs;
    pid_t host;
    ChildReport* report; // in memory shared with the child even where it is a copy
};

// The kernel's sigaction, for rt_sigaction itself: the C library's wrapper may not be called
// between a clone that shares memory and the exec.
struct KernelSigaction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    unsigned long mask;
};

[[noreturn]] __attribute__((no_sanitize("address", "thread", "undefined"))) void
childFails(const ChildSteps& steps, LaunchError::Step step) {
    steps.report->error = errno;
    steps.report->failedStep = static_cast<int>(step);
    ::syscall(SYS_exit_group, 127);
    __builtin_unreachable();
}

// The child, between clone and exec. It runs on a stack of its own in the host's memory, with
// the host's thread state borrowed from the spawner thread, which waits meanwhile: only system
// calls, made through syscall() and never through a wrapper that a sanitizer intercepts, and no
// sanitizer instrumentation, which would touch the spawner thread's own records.
__attribute__((no_sanitize("address", "thread", "undefined"))) int runChild(void* argument) {
    const ChildSteps& steps = *static_cast<const ChildSteps*>(argument);
    // Default handling for every signal, whatever the host installed or ignored; every signal
    // stays blocked, as on the spawner thread, until the exec is near.
    for (int signal = 1; signal < 65; ++signal) {
        if (signal == SIGKILL || signal == SIGSTOP)
            continue;
        const KernelSigaction action{SIG_DFL, 0, nullptr, 0};
        ::syscall(SYS_rt_sigaction, signal, &action, nullptr, sizeof action.mask);
    }
    // The child dies with the host; a host that died before this line cannot send the signal
    // any more, so the child checks that it is still the host's.
    ::syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::syscall(SYS_getppid) != steps.host)
        ::syscall(SYS_exit_group, 127);
    // Into the cgroup before the program can allocate anything: "0" is the writer itself.
    if (steps.cgroupProcs >= 0 && ::syscall(SYS_write, steps.cgroupProcs, "0", 1) != 1)
        childFails(steps, LaunchError::Step::JoinCgroup);
    for (int target = 0; target < 4; ++target) {
        if (steps.streams[target] >= 0 &&
            ::syscall(SYS_dup3, steps.streams[target], target, 0) != target)
            childFails(steps, LaunchError::Step::Exec);
    }
    // Whatever else the host left open without close-on-exec stays with the host. A kernel
    // older than 5.11 refuses this; the runner closes them itself before it reads anything.
    ::syscall(SYS_close_range, steps.streams[3] >= 0 ? 4 : 3, ~0U, CLOSE_RANGE_CLOEXEC);
    const unsigned long none = 0;
    ::syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
    ::syscall(SYS_execve, steps.path, steps.argv, steps.envp);
    childFails(steps, LaunchError::Step::Exec);
}

std::vector<char*> pointers(const std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (const std::string& string : strings)
        result.push_back(const_cast<char*>(string.c_str()));
    result.push_back(nullptr);
    return result;
}

// The child's stack and its report: one of each for all, since the spawner thread starts one
// child at a time and waits until it has exec'd. Mapped once and kept for the process's life.
struct ChildMemory {
    char* stackTop;
    ChildReport* report;
};
constexpr size_t childStackSize = 64 << 10;

ChildMemory childMemory() {
    static const ChildMemory memory = [] {
        void* stack = ::mmap(nullptr, childStackSize, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        // Shared, so that a report written in a child that has a copy of the host's memory
        // reaches the host too.
        void* report = ::mmap(nullptr, sizeof(ChildReport), PROT_READ | PROT_WRITE,
                              MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (stack == MAP_FAILED || report == MAP_FAILED)
            throw std::system_error(errno, std::generic_category(), "mmap");
        // A guard page below, so that an overflow faults instead of writing into the host.
        ::mprotect(stack, 4096, PROT_NONE);
        return ChildMemory{static_cast<char*>(stack) + childStackSize,
                           static_cast<ChildReport*>(report)};
    }();
    return memory;
}

// CLONE_VFORK: the spawner thread waits until the child has exec'd or exited, so that its stack
// and `steps` stay valid. CLONE_PIDFD: the child's descriptor comes with it, with no moment in
// which its number could name another process. CLONE_VM spares copying the host's page tables,
// however large the host; ThreadSanitizer's runtime takes every clone for a fork, though, and
// would rebuild its own records in the shared memory: under it the child gets a copy.
#if defined(__SANITIZE_THREAD__)
constexpr int cloneFlags = CLONE_VFORK | CLONE_PIDFD | SIGCHLD;
#else
constexpr int cloneFlags = CLONE_VM | CLONE_VFORK | CLONE_PIDFD | SIGCHLD;
#endif

ChildProcess cloneChild(ChildSteps& steps) {
    const ChildMemory memory = childMemory();
    steps.report = memory.report;
    steps.report->failedStep = -1;
    steps.report->error = 0;
    int processFd = -1;
    const pid_t pid = ::clone(runChild, memory.stackTop, cloneFlags, &steps, &processFd);
    if (pid < 0)
        throw LaunchError(LaunchError::Step::Clone, errno, "Starting the plugin runner failed");
    ChildProcess child(pid, UniqueFd(processFd));
    if (steps.report->failedStep >= 0) {
        child.wait();
        const auto step = static_cast<LaunchError::Step>(steps.report->failedStep);
        throw LaunchError(step, steps.report->error,
                          step == LaunchError::Step::JoinCgroup
                              ? "Moving the plugin runner into its cgroup failed"
                              : "Starting the plugin runner failed");
    }
    return child;
}

} // namespace

ChildProcess launchChild(const LaunchPlan& plan) {
    const std::vector<char*> argv = pointers(plan.arguments);
    const std::vector<char*> envp = pointers(plan.environment);
    ChildSteps steps{plan.path.c_str(), argv.data(), envp.data(), {},
                     plan.cgroupProcs,  ::getpid(),  nullptr};
    // Each descriptor the child gets is first moved above 3 here, so that no dup onto 0 to 3
    // in the child overwrites one still to be moved (a host with its standard streams closed gets
    // pipes as low as 0).
    UniqueFd moved[4];
    const int wanted[4] = {plan.standardStreams[0], plan.standardStreams[1],
                           plan.standardStreams[2], plan.extraDescriptor};
    for (int i = 0; i < 4; ++i) {
        steps.streams[i] = wanted[i];
        if (wanted[i] >= 0 && wanted[i] <= 3) {
            moved[i].reset(::fcntl(wanted[i], F_DUPFD_CLOEXEC, 4));
            if (!moved[i])
                throw LaunchError(LaunchError::Step::Clone, errno,
                                  "Starting the plugin runner failed");
            steps.streams[i] = moved[i].get();
        }
    }
    ChildProcess child;
    runOnSpawnerThread([&] { child = cloneChild(steps); });
    return child;
}

} // namespace zov::client
