// The engine floor: what no runner on this engine can go below. It loads the
// same libraries as the runner, creates a context, evaluates the warm-up
// script and one expression, prints the result line and exits; no
// confinement, no protocol, no request read.

#include "ChannelProtocol.h"
#include "Scripts.h"
#include "WriteAll.h"

#include <JavaScriptCore/JavaScript.h>

#include <seccomp.h>
#include <string>
#include <unicode/uversion.h>
#include <unistd.h>

namespace {

JSValueRef evaluate(JSGlobalContextRef context, const char* source) {
    JSStringRef script = JSStringCreateWithUTF8CString(source);
    JSValueRef value = JSEvaluateScript(context, script, nullptr, nullptr, 1, nullptr);
    JSStringRelease(script);
    return value;
}

} // namespace

int main() {
    JSGlobalContextRef context = JSGlobalContextCreate(nullptr);
    evaluate(context, std::string(zov::scripts::warmUp).c_str());
    JSValueRef value = evaluate(context, "JSON.stringify({a: 1})");
    JSStringRef text = JSValueToStringCopy(context, value, nullptr);
    char json[64];
    JSStringGetUTF8CString(text, json, sizeof json);
    using namespace zov::channel;
    std::string line = std::string("{\"") + member::json + "\":\"";
    for (const char* c = json; *c; ++c)
        line += *c == '"' ? std::string("\\\"") : std::string(1, *c);
    line += std::string("\",\"") + member::type + "\":\"" + type::result + "\"}\n";
    // Keep the runner's other libraries loaded, as they are in the runner.
    (void)seccomp_version();
    UVersionInfo icu;
    u_getVersion(icu);
    _exit(zov::writeAll(STDOUT_FILENO, line) ? 1 : 0);
}
