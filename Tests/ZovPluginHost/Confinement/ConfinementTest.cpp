// The confinement from inside: after enterSandbox, system calls made with
// harmless arguments are refused or let through, and the engine keeps working.
//
// Each probe runs unconfined too. A call that the filter refuses must be
// answered otherwise there, or the row could not tell the filter's answer
// from the kernel's: where a privilege check would refuse the call unconfined
// as well (unprivileged, or in a container), the probe passes an argument
// that the kernel rejects before any such check - a bad address, a bad
// descriptor, invalid flags. Unconfined, a probe that succeeds must harm
// neither the child that runs it nor anything else.

#include "CaseName.h"
#include "ConfinedChild.h"

#include <gtest/gtest.h>
#include <seccomp.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/futex.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zov::test {
namespace {

// The test process, the confined child's parent: a process outside it.
pid_t outsider = 0;

// An address that nothing is mapped at: the kernel answers EFAULT when it
// reads from or writes to it.
void* const badAddress = reinterpret_cast<void*>(1);

// A descriptor that no process here has open.
constexpr int unopenedDescriptor = 1000;

// A call that made a process where none may be made ends that process at once.
long endIfChild(long result) {
    if (result == 0)
        _exit(0);
    return result;
}

// vfork, whose child runs on this very stack until it ends: it ends at once,
// without touching memory, so that the parent returns from the call unharmed.
long vforkEndingTheChild() {
    long result;
    asm volatile("syscall\n\t"
                 "test %%rax, %%rax\n\t"
                 "jnz 1f\n\t"
                 "mov %[exitGroup], %%eax\n\t"
                 "xor %%edi, %%edi\n\t"
                 "syscall\n"
                 "1:"
                 : "=a"(result)
                 : "0"(long{SYS_vfork}), [exitGroup] "i"(SYS_exit_group)
                 : "rcx", "r11", "rdi", "memory");
    if (result < 0) {
        errno = static_cast<int>(-result);
        return -1;
    }
    return result;
}

long threadStarts() {
    pthread_t thread;
    const int error = pthread_create(
        &thread, nullptr, [](void*) -> void* { return nullptr; }, nullptr);
    if (error != 0) {
        errno = error;
        return -1;
    }
    errno = pthread_join(thread, nullptr);
    return errno == 0 ? 0 : -1;
}

long mprotectOwnPage(int protection) {
    void* page = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return -1;
    return mprotect(page, 4096, protection);
}

long mmapResult(void* address) {
    return address == MAP_FAILED ? -1 : 0;
}

// Grows a mapping of its own with the given flags, or moves it onto a fixed
// address when asked to.
long mremapOwnMapping(int flags) {
    void* pages = mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return -1;
    void* target = static_cast<char*>(pages) + 4096;
    return mmapResult((flags & MREMAP_FIXED) ? mremap(pages, 4096, 4096, flags, target)
                                             : mremap(pages, 8192, 1 << 20, flags));
}

struct SystemCallCase {
    const char* name;
    long (*call)();
    int error; // the errno the confined call fails with; 0 when it succeeds
    // Whether the filter lets the call through, so that `error` is the
    // kernel's answer, the same as unconfined; otherwise it is the filter's.
    bool allowed = error == 0;
};

// How a probe's answer reads in a failure: "success" or the errno's name.
std::string describeAnswer(const std::string& answer) {
    const int error = std::atoi(answer.c_str());
    const char* name = error != 0 ? strerrorname_np(error) : nullptr;
    return answer == "0" ? "success" : name ? name : "\"" + answer + "\"";
}

// Every call runs in a confined child of its own, so that a call that the
// filter wrongly lets through can harm no more than that child, and then in an
// unconfined one.
class ConfinedSystemCall : public ::testing::TestWithParam<SystemCallCase> {};

TEST_P(ConfinedSystemCall, IsAnsweredAsThePolicySays) {
    const SystemCallCase& test = GetParam();
    outsider = ::getpid();
    const ContextStep probe = [&](engine::Context&) {
        errno = 0;
        const long result = test.call();
        say(std::to_string(result < 0 ? errno : 0));
    };
    const ChildRun confined = runConfined(probe);
    EXPECT_TRUE(confined.exitedCleanly()) << confined;
    EXPECT_EQ(confined.errors, "");
    EXPECT_EQ(confined.output, std::to_string(test.error))
        << "expected " << describeAnswer(std::to_string(test.error));

    const ChildRun unconfined = runUnconfined(probe);
    ASSERT_TRUE(unconfined.exitedCleanly()) << unconfined;
    if (test.allowed) {
        EXPECT_EQ(unconfined.output, confined.output)
            << "the filter lets the call through, yet unconfined it is answered "
            << describeAnswer(unconfined.output);
    } else {
        EXPECT_NE(unconfined.output, confined.output)
            << "unconfined too the call is answered " << describeAnswer(unconfined.output)
            << ", so this row cannot show that the filter refuses it";
    }
}

const auto caseName = CaseName();

// Nothing that reaches outside the process: files, sockets, programs,
// processes, other processes' memory and signals, the kernel's wider services.
INSTANTIATE_TEST_SUITE_P(
    Refused, ConfinedSystemCall,
    ::testing::Values(
        SystemCallCase{"Open", [] { return syscall(SYS_open, "/", O_RDONLY); }, EPERM},
        SystemCallCase{"OpenAt", [] { return syscall(SYS_openat, AT_FDCWD, "/etc/hostname", 0); },
                       EPERM},
        SystemCallCase{"OpenAt2",
                       [] { return syscall(SYS_openat2, AT_FDCWD, nullptr, nullptr, 0); }, EPERM},
        SystemCallCase{"Stat", [] { return syscall(SYS_newfstatat, AT_FDCWD, "/", nullptr, 0); },
                       EPERM},
        SystemCallCase{"Socket", [] { return long{::socket(AF_UNIX, SOCK_STREAM, 0)}; }, EPERM},
        SystemCallCase{"Connect", [] { return long{::connect(-1, nullptr, 0)}; }, EPERM},
        SystemCallCase{"Execve", [] { return syscall(SYS_execve, nullptr, nullptr, nullptr); },
                       EPERM},
        SystemCallCase{"Execveat",
                       [] { return syscall(SYS_execveat, -1, nullptr, nullptr, nullptr, 0); },
                       EPERM},
        SystemCallCase{"Fork", [] { return endIfChild(syscall(SYS_fork)); }, EPERM},
        SystemCallCase{"Vfork", vforkEndingTheChild, EPERM},
        SystemCallCase{"CloneProcess",
                       [] { return endIfChild(syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0)); }, EPERM},
        // A new mount namespace cannot share the file system information
        // (CLONE_FS), which the kernel checks before the privilege it needs.
        SystemCallCase{"CloneNamespace",
                       [] {
                           return endIfChild(
                               syscall(SYS_clone, CLONE_NEWNS | CLONE_FS | SIGCHLD, 0, 0, 0, 0));
                       },
                       EPERM},
        SystemCallCase{"Clone3", [] { return syscall(SYS_clone3, nullptr, 0); }, ENOSYS},
        SystemCallCase{"Ptrace", [] { return syscall(SYS_ptrace, PTRACE_PEEKDATA, 0, 0, 0); },
                       EPERM},
        SystemCallCase{"KillOther", [] { return long{::kill(outsider, 0)}; }, EPERM},
        SystemCallCase{"TgkillOther", [] { return syscall(SYS_tgkill, outsider, outsider, 0); },
                       EPERM},
        SystemCallCase{"TkillOther", [] { return syscall(SYS_tkill, outsider, 0); }, EPERM},
        SystemCallCase{"PidfdOpen", [] { return syscall(SYS_pidfd_open, outsider, 0); }, EPERM},
        SystemCallCase{
            "ProcessVmReadv",
            [] { return syscall(SYS_process_vm_readv, outsider, nullptr, 0, nullptr, 0, 0); },
            EPERM},
        SystemCallCase{
            "ProcessVmWritev",
            [] { return syscall(SYS_process_vm_writev, outsider, nullptr, 0, nullptr, 0, 0); },
            EPERM},
        SystemCallCase{"Mount",
                       [] { return syscall(SYS_mount, "none", badAddress, "tmpfs", 0, nullptr); },
                       EPERM},
        SystemCallCase{"Unshare", [] { return syscall(SYS_unshare, 0); }, EPERM},
        SystemCallCase{"Setns", [] { return syscall(SYS_setns, -1, 0); }, EPERM},
        SystemCallCase{"Bpf", [] { return syscall(SYS_bpf, -1, badAddress, 8); }, EPERM},
        SystemCallCase{"IoUringSetup", [] { return syscall(SYS_io_uring_setup, 0, nullptr); },
                       EPERM},
        SystemCallCase{"IoUringEnter",
                       [] { return syscall(SYS_io_uring_enter, -1, 0, 0, 0, nullptr, 0); }, EPERM},
        SystemCallCase{"IoUringRegister",
                       [] { return syscall(SYS_io_uring_register, -1, 0, nullptr, 0); }, EPERM},
        SystemCallCase{"Keyctl", [] { return syscall(SYS_keyctl, -1, 0, 0, 0, 0); }, EPERM},
        SystemCallCase{"Prctl", [] { return long{::prctl(PR_GET_DUMPABLE)}; }, EPERM},
        SystemCallCase{"Seccomp",
                       [] { return syscall(SYS_seccomp, SECCOMP_GET_ACTION_AVAIL, 0, nullptr); },
                       EPERM},
        SystemCallCase{"LandlockCreateRuleset",
                       [] { return syscall(SYS_landlock_create_ruleset, nullptr, 0, 1); }, EPERM},
        SystemCallCase{"Getppid", [] { return syscall(SYS_getppid); }, EPERM},
        SystemCallCase{"Uname", [] { return syscall(SYS_uname, nullptr); }, EPERM},
        // The other x86 ABI that runs on this kernel's system call entry.
        SystemCallCase{"X32Getpid", [] { return syscall(0x40000000 | SYS_getpid); }, EPERM}),
    CaseName());

// Standard input is for reading and standard output for writing; no other
// descriptor serves, and none can be made.
INSTANTIATE_TEST_SUITE_P(
    Descriptors, ConfinedSystemCall,
    ::testing::Values(
        SystemCallCase{"ReadStandardInput",
                       [] {
                           char byte;
                           return long{::read(STDIN_FILENO, &byte, 0)};
                       },
                       0},
        SystemCallCase{"WriteStandardOutput", [] { return long{::write(STDOUT_FILENO, "", 0)}; },
                       0},
        // Waiting for a non-blocking standard input or output.
        SystemCallCase{"PollStandardInput",
                       [] {
                           pollfd input{STDIN_FILENO, POLLIN, 0};
                           return long{::poll(&input, 1, 0)} < 0 ? -1L : 0L;
                       },
                       0},
        SystemCallCase{"Ppoll",
                       [] {
                           const timespec zero{};
                           return syscall(SYS_ppoll, nullptr, 0, &zero, nullptr, 8);
                       },
                       0},
        SystemCallCase{"WriteStandardError", [] { return long{::write(STDERR_FILENO, "", 0)}; },
                       EPERM},
        SystemCallCase{"WriteStandardInput", [] { return long{::write(STDIN_FILENO, "", 0)}; },
                       EPERM},
        SystemCallCase{"ReadStandardOutput",
                       [] {
                           char byte;
                           return long{::read(STDOUT_FILENO, &byte, 0)};
                       },
                       EPERM},
        SystemCallCase{"ReadOtherDescriptor",
                       [] {
                           char byte;
                           return long{::read(unopenedDescriptor, &byte, 1)};
                       },
                       EPERM},
        SystemCallCase{"PreadStandardInput",
                       [] {
                           char byte;
                           return long{::pread(STDIN_FILENO, &byte, 1, 0)};
                       },
                       EPERM},
        SystemCallCase{"ReadvStandardInput", [] { return long{::readv(STDIN_FILENO, nullptr, 0)}; },
                       EPERM},
        SystemCallCase{"WritevStandardOutput",
                       [] { return long{::writev(STDOUT_FILENO, nullptr, 0)}; }, EPERM},
        SystemCallCase{"Dup", [] { return long{::dup(STDIN_FILENO)}; }, EPERM},
        SystemCallCase{"Pipe",
                       [] {
                           int ends[2];
                           return long{::pipe(ends)};
                       },
                       EPERM},
        SystemCallCase{"Eventfd", [] { return syscall(SYS_eventfd2, 0, 0); }, EPERM},
        SystemCallCase{"MemfdCreate", [] { return syscall(SYS_memfd_create, "x", 0); }, EPERM},
        SystemCallCase{"Fcntl", [] { return long{::fcntl(STDIN_FILENO, F_GETFL)}; }, EPERM},
        SystemCallCase{"Ioctl", [] { return syscall(SYS_ioctl, STDIN_FILENO, 0x5401, nullptr); },
                       EPERM},
        SystemCallCase{"Close", [] { return long{::close(STDERR_FILENO)}; }, EPERM}),
    CaseName());

// Memory: anonymous and never executable.
INSTANTIATE_TEST_SUITE_P(
    Memory, ConfinedSystemCall,
    ::testing::Values(
        SystemCallCase{"MapAnonymous",
                       [] {
                           return mmapResult(mmap(nullptr, 1 << 20, PROT_READ | PROT_WRITE,
                                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
                       },
                       0},
        SystemCallCase{"MapExecutable",
                       [] {
                           return mmapResult(mmap(nullptr, 4096, PROT_READ | PROT_EXEC,
                                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
                       },
                       EPERM},
        SystemCallCase{
            "MapStandardInput",
            [] { return mmapResult(mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, STDIN_FILENO, 0)); },
            EPERM},
        SystemCallCase{"ProtectReadOnly", [] { return mprotectOwnPage(PROT_READ); }, 0},
        SystemCallCase{"ProtectExecutable", [] { return mprotectOwnPage(PROT_READ | PROT_EXEC); },
                       EPERM},
        SystemCallCase{"Unmap", [] { return long{::munmap(nullptr, 4096)}; }, 0},
        SystemCallCase{"RemapMoving", [] { return mremapOwnMapping(MREMAP_MAYMOVE); }, 0},
        SystemCallCase{"RemapOntoAChosenAddress",
                       [] { return mremapOwnMapping(MREMAP_MAYMOVE | MREMAP_FIXED); }, EPERM},
        SystemCallCase{"Madvise",
                       [] {
                           static char page[4096] __attribute__((aligned(4096)));
                           return long{::madvise(page, sizeof page, MADV_DONTNEED)};
                       },
                       0},
        SystemCallCase{"Brk", [] { return syscall(SYS_brk, 0) > 0 ? 0L : -1L; }, 0}),
    CaseName());

// Threads of this process, their locks and their signals; the clocks.
INSTANTIATE_TEST_SUITE_P(
    Threads, ConfinedSystemCall,
    ::testing::Values(
        SystemCallCase{"ThreadStarts", threadStarts, 0},
        SystemCallCase{"FutexWake",
                       [] {
                           static int word = 0;
                           return syscall(SYS_futex, &word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr,
                                          0);
                       },
                       0},
        SystemCallCase{"SchedYield", [] { return long{::sched_yield()}; }, 0},
        // With nothing to resume, the kernel answers EINTR: the call went through the filter.
        SystemCallCase{"RestartSyscall", [] { return syscall(SYS_restart_syscall); }, EINTR, true},
        SystemCallCase{"Getpid", [] { return syscall(SYS_getpid); }, 0},
        SystemCallCase{"Gettid", [] { return syscall(SYS_gettid); }, 0},
        SystemCallCase{"TgkillOwnThread",
                       [] { return syscall(SYS_tgkill, ::getpid(), ::gettid(), 0); }, 0},
        SystemCallCase{"SignalMask",
                       [] {
                           sigset_t old;
                           return syscall(SYS_rt_sigprocmask, SIG_BLOCK, nullptr, &old, 8);
                       },
                       0},
        SystemCallCase{"SignalAction",
                       [] {
                           struct sigaction old {};
                           return long{::sigaction(SIGUSR2, nullptr, &old)};
                       },
                       0},
        // The kernel's answer, which shows the call through the filter
        // without suspending the thread.
        SystemCallCase{"SignalSuspendBadMask",
                       [] { return syscall(SYS_rt_sigsuspend, badAddress, 8); }, EFAULT, true},
        SystemCallCase{"ClockGettime",
                       [] {
                           long now[2] = {}; // seconds and nanoseconds
                           return syscall(SYS_clock_gettime, CLOCK_MONOTONIC, now);
                       },
                       0}),
    CaseName());

// The i386 ABI, where the kernel runs it: the filter refuses its calls too.
TEST(ConfinedI386Call, IsRefused) {
    auto i386Getpid = [] {
        long result = 0;
        // The kernel zeroes r8 to r11 on the way back from int 0x80.
        asm volatile("int $0x80" : "=a"(result) : "a"(20) : "r8", "r9", "r10", "r11", "memory");
        return result;
    };
    const ChildRun probe = runUnconfined([&](engine::Context&) { i386Getpid(); });
    if (!probe.exitedCleanly())
        GTEST_SKIP() << "this kernel runs no i386 code";
    const ChildRun run = runConfined([&](engine::Context&) { say(std::to_string(-i386Getpid())); });
    EXPECT_TRUE(run.exitedCleanly()) << run;
    EXPECT_EQ(run.output, std::to_string(EPERM));
}

// A step of the confinement that the kernel refuses fails the whole of it,
// with a text that says which step and why. The child's own filter, loaded
// before, refuses the step's system call.
struct RefusedStep {
    const char* name;
    int call;
    const char* message;
};

class ConfinementStep : public ::testing::TestWithParam<RefusedStep> {};

TEST_P(ConfinementStep, ThatFailsIsReported) {
    const RefusedStep& test = GetParam();
    const ChildRun run =
        runConfined([](engine::Context&) { say("confined"); },
                    [&](engine::Context&) {
                        scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
                        seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), test.call, 0);
                        if (seccomp_load(filter) != 0)
                            _exit(7);
                        seccomp_release(filter);
                    });
    EXPECT_TRUE(WIFEXITED(run.waitStatus) && WEXITSTATUS(run.waitStatus) == 3) << run;
    EXPECT_EQ(run.output, test.message);
    EXPECT_EQ(run.errors, "");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ConfinementStep,
    ::testing::Values(RefusedStep{"NoNewPrivileges", SCMP_SYS(prctl),
                                  "Sandbox failed: no_new_privs: Operation not permitted"},
                      RefusedStep{"Landlock", SCMP_SYS(landlock_restrict_self),
                                  "Sandbox failed: Landlock: Operation not permitted"},
                      RefusedStep{"Seccomp", SCMP_SYS(seccomp),
                                  "Sandbox failed: seccomp: Operation not permitted"}),
    CaseName());

// A warm-up statement that throws is seen by nothing: no output, and the
// sandbox is entered all the same. Here the warm-up's normalize throws.
TEST(WarmUp, ThatThrowsIsIgnored) {
    const ChildRun run = runConfined(
        [](engine::Context& context) {
            const long parent = syscall(SYS_getppid);
            say(evaluateToString(context, "warmUpReached") + " " +
                std::to_string(parent < 0 ? errno : 0));
        },
        [](engine::Context& context) {
            evaluateToString(context, "String.prototype.normalize = function () {"
                                      " globalThis.warmUpReached = true; throw new Error('x'); };");
        });
    EXPECT_TRUE(run.exitedCleanly()) << run;
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.output, "true " + std::to_string(EPERM));
}

// The engine under the kinds of load that plugins put on it, after the
// confinement: each script's string form, as an unconfined engine gives it.
struct EngineLoad {
    const char* name;
    const char* script;
    const char* result;
};

class ConfinedEngine : public ::testing::TestWithParam<EngineLoad> {};

TEST_P(ConfinedEngine, KeepsWorking) {
    const EngineLoad& load = GetParam();
    const ChildRun run =
        runConfined([&](engine::Context& context) { say(evaluateToString(context, load.script)); });
    EXPECT_TRUE(run.exitedCleanly()) << run;
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run.output, load.result);
}

INSTANTIATE_TEST_SUITE_P(
    Loads, ConfinedEngine,
    ::testing::Values(
        EngineLoad{"AllocationAndCollection",
                   "let kept = 0; for (let round = 0; round < 40; round++) { const a = [];"
                   " for (let i = 0; i < 100000; i++) a.push({i, s: 's' + i}); kept += a.length; }"
                   " kept",
                   "4000000"},
        EngineLoad{"WeakReferencesAndFinalizers",
                   "const registry = new FinalizationRegistry(() => {}); const m = new WeakMap();"
                   " for (let i = 0; i < 200000; i++) { const o = {}; m.set(o, i);"
                   " registry.register(o, i); } typeof new WeakRef({}).deref()",
                   "object"},
        EngineLoad{"LargeBuffers",
                   "const b = new Uint8Array(256 * 1024 * 1024); b[b.length - 1] = 7;"
                   " const r = new ArrayBuffer(8, {maxByteLength: 1 << 28}); r.resize(1 << 27);"
                   " b[b.length - 1] + ':' + r.byteLength + ':' + new ArrayBuffer(1 << 24)"
                   ".transfer(1 << 26).byteLength",
                   "7:134217728:67108864"},
        EngineLoad{"LargeRegularExpression",
                   "const words = Array.from({length: 3000}, (_, i) => 'w' + i + 'x');"
                   " const re = new RegExp('(?:' + words.join('|') + ')', 'g');"
                   " words.join(' ').repeat(10).match(re).length",
                   "30000"},
        EngineLoad{"UnicodeRegularExpressions",
                   "/\\p{L}+/u.exec('12\u00e9\u03bb\U0001F600')[0] + ':' +"
                   " /(?<y>\\d{4})-(?<m>\\d\\d)/.exec('2026-11').groups.m + ':' +"
                   " 'x'.repeat(5e6).replace(/x/g, 'yz').length",
                   "\u00e9\u03bb:11:10000000"},
        EngineLoad{"Normalization",
                   "'\u00c4'.normalize('NFD').length + ':' + '\ufb01'.normalize('NFKC') + ':' +"
                   " '\u00c4\u00e9'.repeat(1e6).normalize('NFD').length",
                   "2:fi:4000000"},
        EngineLoad{"LocaleCompare",
                   "['z', '\u00e4', 'a', '\u00d6'].sort((x, y) => x.localeCompare(y)).join('') +"
                   " ':' + ['z', '\u00e4', 'a'].sort(new Intl.Collator('sv').compare).join('')"
                   " + ':' + '\u0130'.toLocaleLowerCase('tr') + ':' + '\u00df'.toUpperCase()",
                   "a\u00e4\u00d6z:az\u00e4:i:SS"},
        EngineLoad{"Dates",
                   "Date.parse('2026-11-06T12:00:00.123+0300') + ':' +"
                   " new Date(Date.UTC(2026, 0, 31)).toISOString() + ':' +"
                   " new Date(0).toLocaleString('de-DE', {timeZone: 'America/New_York'}) + ':' +"
                   " new Intl.DateTimeFormat('en', {timeZone: 'Asia/Tokyo', timeZoneName: 'short'})"
                   ".format(new Date(0))",
                   "1793955600123:2026-01-31T00:00:00.000Z:31.12.1969, 19:00:00:"
                   "1/1/1970, GMT+9"},
        EngineLoad{
            "LargeJson",
            "const rows = Array.from({length: 400000}, (_, i) => ({id: i, name: '\u00e9' + i,"
            " tags: ['a', 'b']})); const text = JSON.stringify(rows);"
            " (text.length > 15e6) + ':' + JSON.parse(text).length",
            "true:400000"},
        EngineLoad{"RecursionToTheStackLimit",
                   "function f(n) { return f(n + 1) + 1; } let caught;"
                   " try { f(0); } catch (e) { caught = e; } String(caught)",
                   "RangeError: Maximum call stack size exceeded."},
        EngineLoad{
            "HotLoop",
            "function hot(n) { let s = 0; for (let i = 0; i < n; i++) s = (s + i * 7) % 1000003;"
            " return s; } let t = 0; for (let k = 0; k < 20; k++) t += hot(1e6); t",
            "840"}),
    CaseName());

} // namespace
} // namespace zov::test
