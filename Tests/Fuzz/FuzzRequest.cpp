// The runner's request parsing on any line: the engine's JSON parser, then the
// checks of the members. It accepts an object with a string `script` and a
// string `method`, and refuses anything else with the parser's description
// (not JSON, or a scalar at the top level) or a runner error (an array, an
// object without those members), which agrees with the runner's own check of
// JSON text.

#include "FuzzCheck.h"
#include "JsonText.h"
#include "Request.h"
#include "RunnerError.h"

#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using zov::fuzz::check;
    static const std::unique_ptr<zov::engine::Context> context = zov::engine::Context::create();
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string_view text(line);
    const size_t first = text.find_first_not_of(" \t\r\n");
    const bool json = zov::isJsonText(text);
    const bool container = json && (text[first] == '{' || text[first] == '[');
    try {
        zov::parseRequest(*context, zov::engine::String::fromUtf8(line));
        check(container && text[first] == '{', "only an object is accepted");
    } catch (const zov::RunnerError&) {
        check(container, "an object or an array refused for its members");
    } catch (const zov::Failure& failure) {
        check(!container, "the parser refuses what is not JSON, or a scalar");
        check(failure.what()[0] != '\0', "the parser says why");
    }
    return 0;
}
