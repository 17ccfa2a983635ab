// The process's confinement on Linux, in this order: no new privileges; a
// Landlock ruleset that handles every access right the kernel knows and grants
// none; and a seccomp filter, loaded for every thread, that lets the engine
// compute, allocate and collect garbage and the runner read its standard input,
// write its standard output and exit. Every other system call fails with EPERM.
//
// Seccomp is the wall: it covers every thread, while Landlock binds only the
// calling thread and those it starts later. Landlock is defence in depth and is
// skipped on kernels without it.

#include "Confinement.h"
#include "Landlock.h"

#include <seccomp.h>

#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace zov {
namespace {

StepFailure forbidNewPrivileges() {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return describe("no_new_privs", errno);
    return std::nullopt;
}

// Descriptors that the engine and the C library opened while the context was
// created (randomness, memory statistics, a wake-up eventfd) and any that the
// host left open. The filter denies every use of them already, and the engine
// copes with their absence. A kernel without close_range keeps them open,
// denied all the same.
void closeOtherDescriptors() {
    close_range(STDERR_FILENO + 1, ~0u, 0);
}

// --- Seccomp

class SeccompFilter {
public:
    SeccompFilter() : context_(seccomp_init(SCMP_ACT_ERRNO(EPERM))) {}
    ~SeccompFilter() { seccomp_release(context_); }
    SeccompFilter(const SeccompFilter&) = delete;
    SeccompFilter& operator=(const SeccompFilter&) = delete;

    bool valid() const { return context_ != nullptr; }

    // Building the filter goes on after a failure; the first one is kept, and
    // load() reports it without loading anything.
    void setAttribute(scmp_filter_attr attribute, uint32_t value) {
        record("seccomp attribute", seccomp_attr_set(context_, attribute, value));
    }
    void allow(int call, std::initializer_list<scmp_arg_cmp> conditions = {}) {
        add(SCMP_ACT_ALLOW, call, conditions);
    }
    void answer(int call, int error) { add(SCMP_ACT_ERRNO(error), call, {}); }
    StepFailure load() {
        if (failure_)
            return failure_;
        // libseccomp folds the kernel's errors that it does not document
        // (EPERM among them) into EFAULT; the kernel's own reason is in errno.
        errno = 0;
        const int result = seccomp_load(context_);
        if (result < 0)
            failure_ = describe("seccomp", errno != 0 ? errno : -result);
        return failure_;
    }

private:
    void add(uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions) {
        record("seccomp rule", seccomp_rule_add_exact_array(
                                   context_, action, call, static_cast<unsigned>(conditions.size()),
                                   conditions.begin()));
    }
    // libseccomp reports failures as negative errno values.
    void record(const char* step, int result) {
        if (result < 0 && !failure_)
            failure_ = describe(step, -result);
    }

    scmp_filter_ctx context_;
    StepFailure failure_;
};

// The flags with which the C library starts a thread; any other clone would
// make a process or share less than a thread does.
constexpr uint64_t threadCloneFlags = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND |
                                      CLONE_THREAD | CLONE_SYSVSEM | CLONE_SETTLS |
                                      CLONE_PARENT_SETTID | CLONE_CHILD_CLEARTID;

void allowRunnerCalls(SeccompFilter& filter) {
    // The host channel: requests and fetch replies come in on standard input,
    // fetch lines and the final line go out on standard output.
    filter.allow(SCMP_SYS(read), {SCMP_A0(SCMP_CMP_EQ, STDIN_FILENO)});
    filter.allow(SCMP_SYS(write), {SCMP_A0(SCMP_CMP_EQ, STDOUT_FILENO)});
    // _exit after the final line; a thread's own end.
    filter.allow(SCMP_SYS(exit_group));
    filter.allow(SCMP_SYS(exit));
}

void allowMemoryCalls(SeccompFilter& filter) {
    // The engine's heap, the allocators' pages and thread stacks: anonymous
    // memory only, and never executable. The JIT's executable pool is mapped
    // while the context is created, before the confinement.
    filter.allow(SCMP_SYS(mmap), {SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0),
                                  SCMP_A3(SCMP_CMP_MASKED_EQ, MAP_ANONYMOUS, MAP_ANONYMOUS)});
    // Guard pages of thread stacks; resizable ArrayBuffers commit and release
    // the pages they reserved.
    filter.allow(SCMP_SYS(mprotect), {SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)});
    filter.allow(SCMP_SYS(munmap));
    // The runner's large text buffers grow by moving their pages; a mapping
    // is never moved onto an address of the caller's choosing.
    filter.allow(SCMP_SYS(mremap),
                 {SCMP_A3(SCMP_CMP_MASKED_EQ, ~uint64_t{MREMAP_MAYMOVE}, uint64_t{0})});
    // The C library's small-block heap.
    filter.allow(SCMP_SYS(brk));
    // The allocators and the garbage collector hand unused pages back.
    filter.allow(SCMP_SYS(madvise));
}

void allowThreadCalls(SeccompFilter& filter) {
    // Locks and condition variables between the engine's threads, and the
    // allocator's back-off while another thread holds a lock.
    filter.allow(SCMP_SYS(futex));
    filter.allow(SCMP_SYS(sched_yield));
    // The allocator's scavenger thread ends after a while without work and is
    // started again by the next allocation. Only a thread of this process may
    // be made; clone3 passes its flags in memory, which a filter cannot read,
    // and ENOSYS makes the C library fall back to clone.
    filter.allow(SCMP_SYS(clone), {SCMP_A0(SCMP_CMP_EQ, threadCloneFlags)});
    filter.answer(SCMP_SYS(clone3), ENOSYS);
    // A new thread registers its restartable sequence and robust futex list
    // and sets its signal mask.
    filter.allow(SCMP_SYS(rseq));
    filter.allow(SCMP_SYS(set_robust_list));
    filter.allow(SCMP_SYS(rt_sigprocmask));
}

// The engine keeps its way of suspending a thread armed (it installs its
// SIGUSR1 handler with the context): pthread_kill asks getpid for the target's
// process and sends the signal with tgkill, and the target waits in the handler
// with rt_sigsuspend and returns with rt_sigreturn. Without them the garbage
// collector was seen to crash now and then, and the C library's abort() needs
// getpid, gettid and tgkill too. Signals reach the threads of this process only.
void allowSignalCalls(SeccompFilter& filter, pid_t self) {
    filter.allow(SCMP_SYS(getpid));
    filter.allow(SCMP_SYS(gettid));
    filter.allow(SCMP_SYS(tgkill), {SCMP_A0(SCMP_CMP_EQ, static_cast<uint64_t>(self))});
    filter.allow(SCMP_SYS(rt_sigsuspend));
    filter.allow(SCMP_SYS(rt_sigaction));
    filter.allow(SCMP_SYS(rt_sigreturn));
}

// Date.now() and the collector's timers read the clocks through the vDSO,
// without a system call, except on machines whose clock source the vDSO cannot
// read; there it falls back to these calls, and denying them would leave the
// engine with garbage for the time.
void allowClockCalls(SeccompFilter& filter) {
    filter.allow(SCMP_SYS(clock_gettime));
    filter.allow(SCMP_SYS(gettimeofday));
}

#if defined(__SANITIZE_ADDRESS__)
// What the AddressSanitizer's runtime needs beyond the runner, allowed in the
// sanitizer build only; without either call the runtime aborts the process.
void allowSanitizerCalls(SeccompFilter& filter) {
    // It gives every thread an alternate signal stack and checks it before
    // each call that does not return (_exit, a throw).
    filter.allow(SCMP_SYS(sigaltstack));
    // It asks for a new thread's attributes, which the C library completes
    // with the thread's CPU affinity.
    filter.allow(SCMP_SYS(sched_getaffinity));
}
#endif

StepFailure loadSystemCallFilter() {
    SeccompFilter filter;
    if (!filter.valid())
        return describe("seccomp", ENOMEM);
    // Calls of the other x86 ABIs (i386, x32) are refused like any other.
    filter.setAttribute(SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_ERRNO(EPERM));
    // Threads that exist already are bound too.
    filter.setAttribute(SCMP_FLTATR_CTL_TSYNC, 1);
    // no_new_privs is set before, as a step of its own.
    filter.setAttribute(SCMP_FLTATR_CTL_NNP, 0);
    allowRunnerCalls(filter);
    allowMemoryCalls(filter);
    allowThreadCalls(filter);
    allowSignalCalls(filter, getpid());
    allowClockCalls(filter);
#if defined(__SANITIZE_ADDRESS__)
    allowSanitizerCalls(filter);
#endif
    return filter.load();
}

} // namespace

int confineProcess(std::optional<std::string>& errorText) {
    StepFailure failure = forbidNewPrivileges();
    if (!failure)
        failure = restrictWithLandlock();
    if (!failure) {
        closeOtherDescriptors();
        failure = loadSystemCallFilter();
    }
    if (!failure)
        return 0;
    errorText = std::move(failure);
    return -1;
}

} // namespace zov
