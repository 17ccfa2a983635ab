#pragma once

#include <stdexcept>
#include <string>

namespace zov {

// A failure that ends the run with an error line. Only its message reaches the
// host: the runner's own errors, the JSON parser's and the output's alike.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An error of the runner itself, in the domain "ZovPluginHost".
class RunnerError : public Failure {
public:
    static constexpr const char* domain = "ZovPluginHost";

    RunnerError(int code, const std::string& message) : Failure(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

} // namespace zov
