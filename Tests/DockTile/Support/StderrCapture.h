#pragma once

#include <string>

namespace zov::docktile::test {

// Sends everything that this process writes to standard error into a file for as long as this
// object lives, so that a test can tell that nothing was written.
class StderrCapture {
public:
    StderrCapture();
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;
    ~StderrCapture();

    std::string text() const;

private:
    int saved;
    int capture;
};

} // namespace zov::docktile::test
