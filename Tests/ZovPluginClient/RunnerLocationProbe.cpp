// Prints the runner that the host library finds by default, or the error it gives: run with the
// library copied into a prefix of the test's, so that the library finds the runner from there.

#include <zov/RunnerLocation.h>

#include <cstdio>
#include <system_error>

int main() {
    try {
        std::printf("%s\n", zov::client::defaultRunnerPath().c_str());
        return 0;
    } catch (const std::system_error& error) {
        std::printf("error: %s\n", error.what());
        return 1;
    }
}
