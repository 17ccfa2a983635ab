// The process's confinement on Linux, in this order: no new privileges; a
// Landlock ruleset that handles every access right the kernel knows and grants
// none; the descriptors above standard error closed; and a seccomp filter,
// loaded for every thread, that lets the engine compute, allocate and collect
// garbage and the runner read its standard input, write its standard output,
// wait for either, and exit. Every other system call fails with EPERM.
//
// Seccomp is the wall: it covers every thread, while Landlock binds only the
// calling thread and those it starts later. Landlock is defence in depth and is
// skipped on kernels without it.

#include "Confinement.h"
#include "Landlock.h"
#include "SeccompFilter.h"

#include <cerrno>
#include <cstdint>
#include <sched.h>
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

// The flags with which the C library starts a thread; any other clone would
// make a process or share less than a thread does.
constexpr uint64_t threadCloneFlags = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SIGHAND |
                                      CLONE_THREAD | CLONE_SYSVSEM | CLONE_SETTLS |
                                      CLONE_PARENT_SETTID | CLONE_CHILD_CLEARTID;

// The whole system-call policy: its attributes, then every call it lets
// through, each with its reason and the conditions on its arguments. A call
// that no rule names fails with EPERM; a rule lets its call through only when
// every one of its conditions holds.
StepFailure loadSystemCallFilter() {
    const auto self = static_cast<uint64_t>(getpid());
    return SeccompFilter(SCMP_ACT_ERRNO(EPERM))
        // Calls of the other x86 ABIs (i386, x32) are refused like any other.
        .attribute(SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_ERRNO(EPERM))
        // Threads that exist already are bound too.
        .attribute(SCMP_FLTATR_CTL_TSYNC, 1)
        // no_new_privs is set before, as a step of its own.
        .attribute(SCMP_FLTATR_CTL_NNP, 0)

        // --- The host channel
        // Requests and fetch replies come in on standard input,
        .allow(SCMP_SYS(read), {argIs(0, STDIN_FILENO)})
        // fetch lines and the final line go out on standard output.
        .allow(SCMP_SYS(write), {argIs(0, STDOUT_FILENO)})
        // Waits for a non-blocking standard input or output (no descriptor above 2 is open).
        .allow(SCMP_SYS(poll))
        // The same wait, as the C library may make it.
        .allow(SCMP_SYS(ppoll))
        // _exit after the final line.
        .allow(SCMP_SYS(exit_group))
        // A thread's own end.
        .allow(SCMP_SYS(exit))

        // --- Memory: anonymous and never executable. The JIT's executable pool
        // is mapped while the context is created, before the confinement.
        // The engine's heap, the allocators' pages and thread stacks.
        .allow(SCMP_SYS(mmap), {argHasNone(2, PROT_EXEC), argHasAll(3, MAP_ANONYMOUS)})
        // Guard pages of thread stacks; resizable ArrayBuffers commit and release pages.
        .allow(SCMP_SYS(mprotect), {argHasNone(2, PROT_EXEC)})
        // Mappings handed back.
        .allow(SCMP_SYS(munmap))
        // Large text buffers grow by moving; never onto an address of the caller's choosing.
        .allow(SCMP_SYS(mremap), {argHasOnly(3, MREMAP_MAYMOVE)})
        // The C library's small-block heap.
        .allow(SCMP_SYS(brk))
        // The allocators and the garbage collector hand unused pages back.
        .allow(SCMP_SYS(madvise))

        // --- Threads of this process
        // Locks and condition variables between the engine's threads.
        .allow(SCMP_SYS(futex))
        // A timed wait that a stop and continue interrupted resumes through this call.
        .allow(SCMP_SYS(restart_syscall))
        // The allocator's back-off while another thread holds a lock.
        .allow(SCMP_SYS(sched_yield))
        // Restarts the allocator's scavenger thread: a thread of this process, nothing else.
        .allow(SCMP_SYS(clone), {argIs(0, threadCloneFlags)})
        // Flags in memory, which a filter cannot read; ENOSYS sends the C library to clone.
        .answer(SCMP_SYS(clone3), ENOSYS)
        // A new thread registers its restartable sequence and its robust futex list,
        .allow(SCMP_SYS(rseq))
        .allow(SCMP_SYS(set_robust_list))
        // and sets its signal mask.
        .allow(SCMP_SYS(rt_sigprocmask))

        // --- Signals, between the threads of this process only. The engine
        // suspends a thread with SIGUSR1, whose handler it installs with the
        // context; without these the collector was seen to crash now and then.
        // pthread_kill and abort() look up the target's process and thread
        .allow(SCMP_SYS(getpid))
        .allow(SCMP_SYS(gettid))
        // and send the signal to it.
        .allow(SCMP_SYS(tgkill), {argIs(0, self)})
        // The suspended thread waits in the handler.
        .allow(SCMP_SYS(rt_sigsuspend))
        // Handlers set and read back; abort() resets SIGABRT's.
        .allow(SCMP_SYS(rt_sigaction))
        // The return from every handler.
        .allow(SCMP_SYS(rt_sigreturn))

        // --- Clocks: Date.now() and the collector's timers, where the vDSO cannot
        // read the machine's clock source and falls back to the system call.
        .allow(SCMP_SYS(clock_gettime))
        .allow(SCMP_SYS(gettimeofday))

#if defined(__SANITIZE_ADDRESS__)
        // --- Sanitizer build only: AddressSanitizer's runtime aborts without these.
        // Every thread's alternate signal stack, checked before each call that does not return.
        .allow(SCMP_SYS(sigaltstack))
        // A new thread's attributes, which the C library completes with its CPU affinity.
        .allow(SCMP_SYS(sched_getaffinity))
#endif
        .load();
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
