// The host library's request builder on any script, method and input: a line
// that it builds holds no line break and is one JSON object whose `script`,
// `method` and `input` are what it was given. (Its refusals of input are not
// judged here: that the JSON text it refuses is really not JSON is the host
// library's to settle.)

#include "FuzzCheck.h"
#include "JsonText.h"
#include "WellFormedText.h"
#include <zov/PluginCall.h>

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using zov::fuzz::check;
    FuzzedDataProvider provider(data, size);
    const std::string script = provider.ConsumeRandomLengthString();
    const std::string method = provider.ConsumeRandomLengthString(64);
    const bool hasInput = provider.ConsumeBool();
    const std::string input = provider.ConsumeRemainingBytesAsString();
    std::string line;
    try {
        line = zov::client::requestLine(
            script, method, hasInput ? std::optional<std::string_view>(input) : std::nullopt);
    } catch (const std::invalid_argument&) {
        check(hasInput, "only the input is refused");
        return 0;
    }
    check(line.find_first_of("\r\n") == std::string::npos, "no line break in the line");
    check(zov::isJsonText(line), "the line is JSON text to the runner's own check");
    // Not every JSON text fits nlohmann::json: numbers beyond a double's range it refuses.
    const nlohmann::json request = nlohmann::json::parse(line, nullptr, false);
    if (request.is_discarded())
        return 0;
    check(request.is_object(), "an object");
    check(request.at("script").is_string() && request.at("method").is_string(),
          "a string script and a string method");
    if (zov::fuzz::isWellFormedUtf8(script))
        check(request.at("script").get<std::string>() == script, "the script as given");
    if (zov::fuzz::isWellFormedUtf8(method))
        check(request.at("method").get<std::string>() == method, "the method as given");
    check(request.contains("input") == hasInput, "an input only when given one");
    if (hasInput)
        check(request.at("input") == nlohmann::json::parse(input, nullptr, false),
              "the input as given");
    return 0;
}
