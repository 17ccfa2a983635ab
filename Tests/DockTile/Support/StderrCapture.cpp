#include "StderrCapture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace zov::docktile::test {

StderrCapture::StderrCapture() {
    std::fflush(stderr);
    FILE* file = std::tmpfile();
    if (!file) {
        throw std::runtime_error("cannot capture standard error");
    }
    capture = dup(fileno(file));
    std::fclose(file);
    saved = dup(STDERR_FILENO);
    dup2(capture, STDERR_FILENO);
}

StderrCapture::~StderrCapture() {
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(capture);
}

std::string StderrCapture::text() const {
    std::fflush(stderr);
    std::string result;
    char buffer[4096];
    for (off_t offset = 0;;) {
        const ssize_t count = pread(capture, buffer, sizeof buffer, offset);
        if (count <= 0) {
            break;
        }
        result.append(buffer, static_cast<std::size_t>(count));
        offset += count;
    }
    return result;
}

} // namespace zov::docktile::test
