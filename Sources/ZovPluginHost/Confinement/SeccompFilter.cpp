#include "SeccompFilter.h"

#include <cerrno>

namespace zov {

SeccompFilter::SeccompFilter(uint32_t defaultAction) : context_(seccomp_init(defaultAction)) {
    if (context_ == nullptr)
        failure_ = describe("seccomp", ENOMEM);
}

SeccompFilter::~SeccompFilter() {
    if (context_ != nullptr)
        seccomp_release(context_);
}

SeccompFilter& SeccompFilter::attribute(scmp_filter_attr which, uint32_t value) {
    if (context_ != nullptr)
        record("seccomp attribute", seccomp_attr_set(context_, which, value));
    return *this;
}

SeccompFilter& SeccompFilter::allow(int call, std::initializer_list<scmp_arg_cmp> conditions) {
    add(SCMP_ACT_ALLOW, call, conditions);
    return *this;
}

SeccompFilter& SeccompFilter::answer(int call, int error) {
    add(SCMP_ACT_ERRNO(error), call, {});
    return *this;
}

StepFailure SeccompFilter::load() {
    if (failure_)
        return failure_;
    // libseccomp folds the kernel's errors that it does not document (EPERM
    // among them) into EFAULT; the kernel's own reason is in errno.
    errno = 0;
    const int result = seccomp_load(context_);
    if (result < 0)
        failure_ = describe("seccomp", errno != 0 ? errno : -result);
    return failure_;
}

void SeccompFilter::add(uint32_t action, int call, std::initializer_list<scmp_arg_cmp> conditions) {
    if (context_ != nullptr)
        record("seccomp rule", seccomp_rule_add_exact_array(
                                   context_, action, call, static_cast<unsigned>(conditions.size()),
                                   conditions.begin()));
}

// libseccomp reports failures as negative errno values.
void SeccompFilter::record(const char* step, int result) {
    if (result < 0 && !failure_)
        failure_ = describe(step, -result);
}

} // namespace zov
