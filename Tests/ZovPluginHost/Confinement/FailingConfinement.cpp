// A confinement that always fails, for the runner ZovPluginHostFailingSandbox:
// with the error text that the test put in ZOV_TEST_CONFINEMENT_ERROR, or with
// none when that is unset.

#include "Confinement.h"

#include <cstdlib>

int zov::confineProcess(std::optional<std::string>& errorText) {
    if (const char* text = std::getenv("ZOV_TEST_CONFINEMENT_ERROR"))
        errorText = text;
    return 1;
}
