#include "OwnBundleLocation.h"

#include "PathComponents.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace zov::docktile {

namespace {

// An object of this library, so that its address tells which file the library was loaded from.
const char anchor = 0;

} // namespace

std::string ownBundleLocation() {
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || !info.dli_fname || info.dli_fname[0] == '\0') {
        return {};
    }
    // The dock may have loaded the library through a relative path; later changes of the working
    // directory must not move the bundle.
    std::error_code error;
    const auto absolute = std::filesystem::absolute(info.dli_fname, error);
    // The library is the bundle's Contents/MacOS/NAME.so.
    return deletingLastPathComponents(error ? std::string(info.dli_fname) : absolute.string(), 3);
}

} // namespace zov::docktile
