#include "AddressSpaceLimit.h"

#include "RunnerError.h"

#include <string>
#include <sys/resource.h>

namespace zov {

namespace {

std::string mebibytes(uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB";
}

} // namespace

void checkAddressSpaceLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= engineAddressSpace)
        return;
    throw RunnerError("The address-space limit (RLIMIT_AS) of " + mebibytes(limit.rlim_cur) +
                      " is too small for the script engine, which needs " +
                      mebibytes(engineAddressSpace) + " to start");
}

} // namespace zov
