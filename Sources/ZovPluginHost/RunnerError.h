#pragma once

#include <exception>
#include <memory>
#include <string>

namespace zov {

// A failure that ends the run with an error line. Only its message reaches the
// host: the runner's own errors, the JSON parser's and the output's alike.
//
// The message is kept whole, as the text the host must receive: a thrown
// value's string form may hold U+0000, at which what() would end it.
class Failure : public std::exception {
public:
    explicit Failure(std::string message)
        : message_(std::make_shared<const std::string>(std::move(message))) {}

    const std::string& message() const noexcept { return *message_; }
    // The message up to its first NUL, for code that only knows std::exception.
    const char* what() const noexcept override { return message_->c_str(); }

private:
    // Shared, so that copying the exception cannot throw.
    std::shared_ptr<const std::string> message_;
};

// An error of the runner itself, one of seven:
//   1  "Invalid plugin invocation": no context, no request line, or a request
//      that is not an object with a string `script` and a string `method`;
//   2  the exception that loading the plugin threw;
//   3  the exception that calling the method threw;
//   4  "Plugin returned no result", when the call gave no value and threw nothing;
//   5  "Sandbox failed: " and the reason the confinement could not be entered;
//   6  "Plugin result is not JSON text", when what the plugin's JSON.stringify
//      (which it may have replaced) gave back cannot be parsed as JSON;
//   7  "The address-space limit (RLIMIT_AS) of N MiB is too small for the
//      script engine, ...", checked before the engine starts, which it would abort.
class RunnerError : public Failure {
public:
    using Failure::Failure;
};

inline constexpr const char* invalidInvocation = "Invalid plugin invocation";

} // namespace zov
