#include "WaitStatus.h"

#include <cstring>
#include <sys/wait.h>

namespace zov::client {

std::string describeWaitStatus(int status) {
    if (status < 0)
        return "an unknown status";
    if (WIFEXITED(status))
        return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("signal ") + strsignal(WTERMSIG(status));
    return "wait status " + std::to_string(status);
}

std::string exitProblem(int status, int expectedStatus) {
    if (status < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == expectedStatus))
        return {};
    return std::string("The plugin runner wrote ") +
           (expectedStatus == 0 ? "a result" : "an error") + " but ended with " +
           describeWaitStatus(status);
}

} // namespace zov::client
