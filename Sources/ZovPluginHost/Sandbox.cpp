#include "Sandbox.h"

#include "Confinement.h"
#include "RunnerError.h"
#include "Scripts.h"
#include "Utf.h"

#include <optional>
#include <string>

namespace zov {

void enterSandbox(engine::Context& context) {
    // The warm-up makes the engine load what it would otherwise fetch from
    // disk later. No exception handler is installed yet, so whatever it
    // returns or throws is seen by nothing.
    context.evaluate(engine::String::fromUtf16(utf8ToUtf16(scripts::warmUp)));

    std::optional<std::string> errorText;
    if (confineProcess(errorText) != 0)
        throw RunnerError(5, "Sandbox failed: " + errorText.value_or("unknown"));
}

} // namespace zov
