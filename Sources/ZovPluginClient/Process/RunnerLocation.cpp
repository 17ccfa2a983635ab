#include "ThisLibrary.h"

#include <zov/RunnerLocation.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zov::client {

namespace {

constexpr const char* environmentVariable = "ZOV_PLUGIN_HOST";

// The path unless it is an executable file; otherwise an error that names it and says where it
// came from.
std::string executable(const std::string& path, const std::string& origin) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "No plugin runner at " + path + " (" + origin + ")");
    }
    if (!S_ISREG(status.st_mode) || ::access(path.c_str(), X_OK) != 0) {
        throw std::system_error(EACCES, std::generic_category(),
                                "The plugin runner " + path + " (" + origin +
                                    ") is not an executable file");
    }
    return path;
}

} // namespace

std::string defaultRunnerPath() {
    if (const char* named = std::getenv(environmentVariable); named && *named != '\0')
        return executable(named, std::string("named by ") + environmentVariable);

    const std::string library = thisLibraryFile();
    if (library.empty()) {
        throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory),
                                "The plugin client library cannot tell where it was loaded from, "
                                "so it cannot find the runner beside it");
    }
    // Symbolic links resolved, the library's own folder: a merged /usr links /lib to /usr/lib,
    // and a library loaded through /lib still has its runner under /usr/libexec.
    std::error_code error;
    std::filesystem::path folder = std::filesystem::canonical(library, error).parent_path();
    if (error)
        folder = std::filesystem::path(library).parent_path();
    const std::filesystem::path runner =
        (folder / ZOV_LIBRARY_TO_RUNNER / "ZovPluginHost").lexically_normal();
    return executable(runner, "the runner installed beside " + library);
}

} // namespace zov::client
