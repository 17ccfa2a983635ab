#pragma once

namespace zov::docktile {

// The token of one notification registration. Destroying it unsubscribes: the registration
// delivers no further callbacks. A registration that could not be made on the platform's side is
// a token that never delivers.
class Registration {
public:
    Registration() = default;
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    virtual ~Registration() = default;
};

} // namespace zov::docktile
