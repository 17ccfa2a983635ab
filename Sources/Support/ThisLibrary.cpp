#include "ThisLibrary.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace zov {

namespace {

// An object of this library, so that its address tells which file the library was loaded from.
const char anchor = 0;

} // namespace

std::string thisLibraryFile() {
    Dl_info info{};
    if (dladdr(&anchor, &info) == 0 || !info.dli_fname || info.dli_fname[0] == '\0')
        return {};
    // The library may have been loaded through a relative path; later changes of the working
    // directory must not move it.
    std::error_code error;
    const auto absolute = std::filesystem::absolute(info.dli_fname, error);
    return error ? std::string(info.dli_fname) : absolute.string();
}

} // namespace zov
