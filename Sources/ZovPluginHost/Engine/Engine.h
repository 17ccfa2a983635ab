#pragma once

// A thin adapter over the script engine's C API: the few operations the runner
// uses, with the engine's exceptions routed to one installed handler.

#include <JavaScriptCore/JavaScript.h>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace zov {
class ByteBuffer;
}

namespace zov::engine {

// Text as the engine keeps it: UTF-16 code units, shared without copying.
class String {
public:
    // Copies the code units. Throws std::length_error for text longer than the
    // engine can hold.
    static String fromUtf16(std::u16string_view text);
    // Names and fixed texts of the program, which are plain ASCII.
    static String fromAscii(const char* text);
    // UTF-8 bytes, with ill-formed sequences read as U+FFFD. A NUL byte must
    // follow the last one (it is not part of the text). Throws
    // std::length_error for text longer than the engine can hold.
    static String fromUtf8(std::string_view bytes);
    // Takes over a reference that the engine handed out.
    static String adopt(JSStringRef owned) { return String(owned); }

    String(const String& other);
    String(String&& other) noexcept;
    String& operator=(String other) noexcept;
    ~String();

    // The code units; they stay valid while this string exists.
    std::u16string_view view() const;
    // Appends the text as UTF-8, with unpaired surrogates written as U+FFFD.
    void appendUtf8(ByteBuffer& out) const;
    JSStringRef ref() const { return ref_; }

private:
    explicit String(JSStringRef owned) : ref_(owned) {}
    JSStringRef ref_;
};

// A value of the engine, kept alive (protected from garbage collection) while
// this handle exists.
class Value {
public:
    Value(JSContextRef context, JSValueRef value);
    Value(const Value& other);
    Value& operator=(const Value& other);
    ~Value();

    JSValueRef ref() const { return value_; }

private:
    JSGlobalContextRef context_;
    JSValueRef value_;
};

// An object's enumerable properties with their values, in the engine's order.
using Dictionary = std::vector<std::pair<String, Value>>;

class Context {
public:
    // Called for every exception that escapes an operation, with the thrown
    // value. Runs on the calling thread, inside the operation. Exceptions of
    // the operations that the handler itself calls reach it too, nested up to
    // `maxNestedReports` deep; deeper ones are dropped, so that values whose
    // every inspection throws anew cannot recurse until the stack overflows.
    using ExceptionHandler = std::function<void(Context&, const Value* exception)>;
    // A script-callable function of one text argument that returns a text.
    using NativeFunction = std::function<String(const String& argument)>;

    // A fresh context with only the engine's standard globals, or none.
    static std::unique_ptr<Context> create();
    // Another fresh context on the same engine, sharing what the engine has
    // compiled and loaded but none of this context's globals; or none.
    std::unique_ptr<Context> createSibling() const;
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // The completion value, or none when the script threw (or did not parse).
    std::optional<Value> evaluate(const String& script);
    void setExceptionHandler(ExceptionHandler handler);

    void setGlobal(const char* name, const Value& value);
    void setGlobal(const char* name, const String& text);
    void setGlobal(const char* name, NativeFunction function);

    // ECMAScript ToString, or none when it threw.
    std::optional<String> toString(const Value& value);
    // The named property, or none for null and undefined or when the lookup threw.
    std::optional<Value> property(const Value& value, const char* name);
    // The enumerable properties of an object; none for other values or when
    // reading them threw.
    std::optional<Dictionary> toDictionary(const Value& value);

    // Whether the object has the named property, its own or inherited.
    bool hasProperty(const Value& object, const char* name);
    bool isString(const Value& value) const;
    bool isObject(const Value& value) const;
    bool isArray(const Value& value) const;
    Value emptyObject();

    // The engine's JSON parser. Accepts any JSON text; a refused text gives the
    // parser's description of the fault. Never reaches the exception handler.
    std::variant<Value, String> parseJson(const String& text);

private:
    explicit Context(JSGlobalContextRef context);
    // Hands a thrown value to the handler, if one is installed.
    void report(JSValueRef exception);
    // An operation's result, or none when it threw (which is reported).
    std::optional<Value> valueOrReport(JSValueRef result, JSValueRef exception);

    static constexpr int maxNestedReports = 8;

    JSGlobalContextRef context_;
    ExceptionHandler exceptionHandler_;
    int reportDepth_ = 0;
};

} // namespace zov::engine
