#pragma once

// A libseccomp filter, written as one chain of rules that ends in load():
//
//     SeccompFilter(SCMP_ACT_ERRNO(EPERM))
//         .allow(SCMP_SYS(read), {argIs(0, STDIN_FILENO)})
//         .load();
//
// Building goes on after a failure; the first one is kept, and load()
// reports it without loading anything.

#include "StepFailure.h"

#include <seccomp.h>

#include <cstdint>
#include <initializer_list>

namespace zov {

// Conditions on a call's arguments, by the argument's position (0 to 5).
// Argument `arg` is `value`.
constexpr scmp_arg_cmp argIs(unsigned arg, uint64_t value) {
    return {arg, SCMP_CMP_EQ, value, 0};
}
// Argument `arg` has every one of `flags` set.
constexpr scmp_arg_cmp argHasAll(unsigned arg, uint64_t flags) {
    return {arg, SCMP_CMP_MASKED_EQ, flags, flags};
}
// Argument `arg` has none of `flags` set.
constexpr scmp_arg_cmp argHasNone(unsigned arg, uint64_t flags) {
    return {arg, SCMP_CMP_MASKED_EQ, flags, 0};
}
// Argument `arg` has no flag set but those among `flags`.
constexpr scmp_arg_cmp argHasOnly(unsigned arg, uint64_t flags) {
    return {arg, SCMP_CMP_MASKED_EQ, ~flags, 0};
}

class SeccompFilter {
public:
    // A filter that answers every call that no rule names with `defaultAction`.
    explicit SeccompFilter(uint32_t defaultAction);
    ~SeccompFilter();
    SeccompFilter(const SeccompFilter&) = delete;
    SeccompFilter& operator=(const SeccompFilter&) = delete;

    // One of libseccomp's filter attributes (SCMP_FLTATR_…).
    SeccompFilter& attribute(scmp_filter_attr which, uint32_t value);
    // Lets the call through when every condition holds.
    SeccompFilter& allow(int call, std::initializer_list<scmp_arg_cmp> conditions = {});
    // Fails the call with `error` without running it.
    SeccompFilter& answer(int call, int error);

    // Loads the filter into the kernel, or reports the first failure:
    // "seccomp attribute: …", "seccomp rule: …" or "seccomp: …".
    StepFailure load();

private:
    void add(uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions);
    void record(const char* step, int result);

    scmp_filter_ctx context_;
    StepFailure failure_;
};

} // namespace zov
