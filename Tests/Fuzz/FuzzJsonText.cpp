// The runner's check that a result is JSON text, on any bytes: it agrees with
// the engine's own JSON parser, which reads the same grammar. Bytes that are
// not UTF-8 become U+FFFD on their way into the engine, which keeps them
// valid inside a string and invalid outside one, as they are for the check.

#include "Engine.h"
#include "FuzzCheck.h"
#include "JsonText.h"

#include <memory>
#include <string>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<zov::engine::Context> context = zov::engine::Context::create();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto parsed = context->parseJson(zov::engine::String::fromUtf8(text));
    zov::fuzz::check(zov::isJsonText(text) == std::holds_alternative<zov::engine::Value>(parsed),
                     "the check and the engine's parser agree");
    return 0;
}
