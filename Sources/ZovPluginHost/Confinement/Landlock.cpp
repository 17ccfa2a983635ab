// Landlock's interface, spelled out here: Debian 12's kernel headers stop at
// ABI 2. The values are part of the kernel's ABI and never change.

#include "Landlock.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <sys/syscall.h>
#include <unistd.h>

namespace zov {
namespace {

constexpr unsigned createRulesetVersion = 1u << 0;

// What a ruleset handles. The kernel reads as much of it as the size passed
// says; a kernel older than a field must not be handed it.
struct RulesetAttributes {
    uint64_t handledAccessFs = 0;
    uint64_t handledAccessNet = 0; // ABI 4 and later
    uint64_t scoped = 0;           // ABI 6 and later
};

// The rights and scopes that each ABI version adds, and the size of the
// attributes from that version on.
struct AbiAdditions {
    long abi;
    uint64_t accessFs;
    uint64_t accessNet;
    uint64_t scoped;
    size_t attributesSize;
};

constexpr AbiAdditions additions[] = {
    // The first thirteen file system rights: execute, write, read, read a
    // directory, remove a directory or file, make every kind of file.
    {1, (uint64_t{1} << 13) - 1, 0, 0, sizeof(uint64_t)},
    // Linking or renaming a file into another directory ("refer").
    {2, uint64_t{1} << 13, 0, 0, sizeof(uint64_t)},
    // Truncating a file.
    {3, uint64_t{1} << 14, 0, 0, sizeof(uint64_t)},
    // Binding and connecting TCP sockets.
    {4, 0, (uint64_t{1} << 0) | (uint64_t{1} << 1), 0, offsetof(RulesetAttributes, scoped)},
    // ioctl on character and block devices.
    {5, uint64_t{1} << 15, 0, 0, offsetof(RulesetAttributes, scoped)},
    // Abstract UNIX sockets and signals of processes outside the domain.
    {6, 0, 0, (uint64_t{1} << 0) | (uint64_t{1} << 1), sizeof(RulesetAttributes)},
};

// The kernel's Landlock ABI version, or 0 when it has none or it is disabled.
long abiVersion() {
    const long version = syscall(SYS_landlock_create_ruleset, nullptr, 0, createRulesetVersion);
    return version > 0 ? version : 0;
}

} // namespace

StepFailure restrictWithLandlock() {
    const long abi = abiVersion();
    if (abi == 0)
        return std::nullopt;
    RulesetAttributes handled;
    size_t size = 0;
    for (const AbiAdditions& added : additions) {
        if (added.abi > abi)
            break;
        handled.handledAccessFs |= added.accessFs;
        handled.handledAccessNet |= added.accessNet;
        handled.scoped |= added.scoped;
        size = added.attributesSize;
    }
    const long fd = syscall(SYS_landlock_create_ruleset, &handled, size, 0);
    if (fd < 0)
        return describe("Landlock ruleset", errno);
    const long restricted = syscall(SYS_landlock_restrict_self, fd, 0);
    const int error = errno;
    close(static_cast<int>(fd));
    if (restricted != 0)
        return describe("Landlock", error);
    return std::nullopt;
}

} // namespace zov
