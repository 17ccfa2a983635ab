#include "RunnerEnvironment.h"

#include <string_view>

extern char** environ;

namespace zov::client {

std::vector<std::string> runnerEnvironment(bool jit) {
    std::vector<std::string> environment;
    for (char** variable = environ; variable && *variable; ++variable) {
        if (!std::string_view(*variable).starts_with("JSC_"))
            environment.emplace_back(*variable);
    }
    if (!jit)
        environment.emplace_back("JSC_useJIT=false");
    return environment;
}

} // namespace zov::client
