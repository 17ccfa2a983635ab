#include "Engine.h"

#include "ByteBuffer.h"
#include "Utf.h"

#include <cassert>
#include <cstdint>
#include <exception>
#include <limits>
#include <stdexcept>

namespace zov::engine {

// --- String

namespace {

// The engine's strings hold at most 2^31 - 1 code units; it aborts beyond.
void checkEngineLength(size_t codeUnits) {
    if (codeUnits > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw std::length_error("Text too long for the script engine");
}

} // namespace

String String::fromUtf16(std::u16string_view text) {
    checkEngineLength(text.size());
    static_assert(sizeof(JSChar) == sizeof(char16_t));
    return String(
        JSStringCreateWithCharacters(reinterpret_cast<const JSChar*>(text.data()), text.size()));
}

String String::fromAscii(const char* text) {
    return String(JSStringCreateWithUTF8CString(text));
}

String::String(const String& other) : ref_(JSStringRetain(other.ref_)) {}

String::String(String&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}

String& String::operator=(String other) noexcept {
    std::swap(ref_, other.ref_);
    return *this;
}

String::~String() {
    if (ref_)
        JSStringRelease(ref_);
}

std::u16string_view String::view() const {
    const size_t length = JSStringGetLength(ref_);
    if (length == 0)
        return {};
    return {reinterpret_cast<const char16_t*>(JSStringGetCharactersPtr(ref_)), length};
}

String String::fromUtf8(std::string_view bytes) {
    // ASCII goes in as it stands, and the engine keeps it in one byte a
    // character, so that its JSON parser, its strings and the text written
    // back all take half the memory. Other text is decoded here: the engine's
    // own decoder gives up on ill-formed UTF-8.
    assert(bytes.data()[bytes.size()] == '\0');
    if (isAsciiText(bytes)) {
        // One code unit a byte.
        checkEngineLength(bytes.size());
        return fromAscii(bytes.data());
    }
    return fromUtf16(utf8ToUtf16(bytes));
}

void String::appendUtf8(ByteBuffer& out) const {
    // The engine converts without widening one-byte text to UTF-16 first,
    // but stops at the first unpaired surrogate: its bytes are the whole text
    // only when they hold as many UTF-16 code units as the string.
    const size_t start = out.size();
    const size_t room = JSStringGetMaximumUTF8CStringSize(ref_);
    out.resize(start + room);
    const size_t written = JSStringGetUTF8CString(ref_, out.data() + start, room) - 1;
    out.resize(start + written);
    if (utf16Length(std::string_view(out.data() + start, written)) == JSStringGetLength(ref_))
        return;
    out.resize(start);
    zov::appendUtf8(out, view());
}

// --- Value

Value::Value(JSContextRef context, JSValueRef value)
    : context_(JSContextGetGlobalContext(context)), value_(value) {
    JSValueProtect(context_, value_);
}

Value::Value(const Value& other) : Value(other.context_, other.value_) {}

Value& Value::operator=(const Value& other) {
    JSValueProtect(other.context_, other.value_);
    JSValueUnprotect(context_, value_);
    context_ = other.context_;
    value_ = other.value_;
    return *this;
}

Value::~Value() {
    JSValueUnprotect(context_, value_);
}

// --- Native functions

namespace {

JSValueRef makeError(JSContextRef context, const char* text) {
    String message = String::fromAscii(text);
    JSValueRef messageValue = JSValueMakeString(context, message.ref());
    return JSObjectMakeError(context, 1, &messageValue, nullptr);
}

JSValueRef callNativeFunction(JSContextRef context, JSObjectRef function, JSObjectRef,
                              size_t argumentCount, const JSValueRef arguments[],
                              JSValueRef* exception) {
    const auto& native = *static_cast<Context::NativeFunction*>(JSObjectGetPrivate(function));
    try {
        // A missing or undefined argument counts as the empty text; an argument
        // whose conversion throws hands that exception back to the script.
        if (argumentCount == 0 || JSValueIsUndefined(context, arguments[0]))
            return JSValueMakeString(context, native(String::fromAscii("")).ref());
        JSStringRef argument = JSValueToStringCopy(context, arguments[0], exception);
        if (!argument)
            return nullptr;
        return JSValueMakeString(context, native(String::adopt(argument)).ref());
    } catch (const std::exception& failure) {
        // C++ exceptions must not unwind through the engine's frames: the
        // script gets an Error instead.
        *exception = makeError(context, failure.what());
        return nullptr;
    }
}

void finalizeNativeFunction(JSObjectRef function) {
    delete static_cast<Context::NativeFunction*>(JSObjectGetPrivate(function));
}

JSClassRef nativeFunctionClass() {
    static const JSClassRef theClass = [] {
        JSClassDefinition definition = kJSClassDefinitionEmpty;
        definition.className = "Function";
        definition.callAsFunction = callNativeFunction;
        definition.finalize = finalizeNativeFunction;
        return JSClassCreate(&definition);
    }();
    return theClass;
}

JSObjectRef globalObject(JSContextRef context) {
    return JSContextGetGlobalObject(context);
}

// A property that the runner's own code reads from a value that no script has
// touched: its lookup cannot throw.
JSValueRef builtIn(JSContextRef context, JSValueRef object, const char* name) {
    String key = String::fromAscii(name);
    JSObjectRef target = JSValueToObject(context, object, nullptr);
    return target ? JSObjectGetProperty(context, target, key.ref(), nullptr) : nullptr;
}

} // namespace

// --- Context

std::unique_ptr<Context> Context::create() {
    JSGlobalContextRef context = JSGlobalContextCreate(nullptr);
    if (!context)
        return nullptr;
    return std::unique_ptr<Context>(new Context(context));
}

std::unique_ptr<Context> Context::createSibling() const {
    JSGlobalContextRef context = JSGlobalContextCreateInGroup(JSContextGetGroup(context_), nullptr);
    if (!context)
        return nullptr;
    return std::unique_ptr<Context>(new Context(context));
}

Context::Context(JSGlobalContextRef context) : context_(context) {}

Context::~Context() {
    JSGlobalContextRelease(context_);
}

void Context::report(JSValueRef exception) {
    if (!exceptionHandler_ || reportDepth_ >= maxNestedReports)
        return;
    const Value thrown(context_, exception);
    ++reportDepth_;
    try {
        exceptionHandler_(*this, &thrown);
    } catch (...) {
        --reportDepth_;
        throw;
    }
    --reportDepth_;
}

std::optional<Value> Context::valueOrReport(JSValueRef result, JSValueRef exception) {
    if (exception) {
        report(exception);
        return std::nullopt;
    }
    if (!result)
        return std::nullopt;
    return Value(context_, result);
}

std::optional<Value> Context::evaluate(const String& script) {
    JSValueRef exception = nullptr;
    JSValueRef result = JSEvaluateScript(context_, script.ref(), nullptr, nullptr, 1, &exception);
    return valueOrReport(result, exception);
}

void Context::setExceptionHandler(ExceptionHandler handler) {
    exceptionHandler_ = std::move(handler);
}

void Context::setGlobal(const char* name, const Value& value) {
    String key = String::fromAscii(name);
    JSValueRef exception = nullptr;
    JSObjectSetProperty(context_, globalObject(context_), key.ref(), value.ref(),
                        kJSPropertyAttributeNone, &exception);
    if (exception)
        report(exception);
}

void Context::setGlobal(const char* name, const String& text) {
    setGlobal(name, Value(context_, JSValueMakeString(context_, text.ref())));
}

void Context::setGlobal(const char* name, NativeFunction function) {
    JSObjectRef object =
        JSObjectMake(context_, nativeFunctionClass(), new NativeFunction(std::move(function)));
    // Give it the methods of ordinary functions (call, apply, bind).
    JSValueRef functionConstructor = builtIn(context_, globalObject(context_), "Function");
    if (JSValueRef prototype = builtIn(context_, functionConstructor, "prototype"))
        JSObjectSetPrototype(context_, object, prototype);
    setGlobal(name, Value(context_, object));
}

std::optional<String> Context::toString(const Value& value) {
    JSValueRef exception = nullptr;
    JSStringRef text = JSValueToStringCopy(context_, value.ref(), &exception);
    if (exception) {
        report(exception);
        return std::nullopt;
    }
    if (!text)
        return std::nullopt;
    return String::adopt(text);
}

std::optional<Value> Context::property(const Value& value, const char* name) {
    // null and undefined have no properties; asking would only raise a
    // TypeError about the question itself.
    if (JSValueIsNull(context_, value.ref()) || JSValueIsUndefined(context_, value.ref()))
        return std::nullopt;
    JSValueRef exception = nullptr;
    JSObjectRef object = JSValueToObject(context_, value.ref(), &exception);
    JSValueRef result = nullptr;
    if (object) {
        String key = String::fromAscii(name);
        result = JSObjectGetProperty(context_, object, key.ref(), &exception);
    }
    return valueOrReport(result, exception);
}

std::optional<Dictionary> Context::toDictionary(const Value& value) {
    if (!JSValueIsObject(context_, value.ref()))
        return std::nullopt;
    JSObjectRef object = JSValueToObject(context_, value.ref(), nullptr);
    JSPropertyNameArrayRef names = JSObjectCopyPropertyNames(context_, object);
    const size_t count = JSPropertyNameArrayGetCount(names);
    Dictionary dictionary;
    dictionary.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        JSStringRef name = JSPropertyNameArrayGetNameAtIndex(names, i);
        JSValueRef exception = nullptr;
        JSValueRef member = JSObjectGetProperty(context_, object, name, &exception);
        if (exception) {
            JSPropertyNameArrayRelease(names);
            report(exception);
            return std::nullopt;
        }
        dictionary.emplace_back(String::adopt(JSStringRetain(name)), Value(context_, member));
    }
    JSPropertyNameArrayRelease(names);
    return dictionary;
}

bool Context::hasProperty(const Value& object, const char* name) {
    JSObjectRef target = JSValueToObject(context_, object.ref(), nullptr);
    String key = String::fromAscii(name);
    return target && JSObjectHasProperty(context_, target, key.ref());
}

bool Context::isString(const Value& value) const {
    return JSValueIsString(context_, value.ref());
}

bool Context::isObject(const Value& value) const {
    return JSValueIsObject(context_, value.ref());
}

bool Context::isArray(const Value& value) const {
    return JSValueIsArray(context_, value.ref());
}

Value Context::emptyObject() {
    return Value(context_, JSObjectMake(context_, nullptr, nullptr));
}

std::variant<Value, String> Context::parseJson(const String& text) {
    JSValueRef json = builtIn(context_, globalObject(context_), "JSON");
    JSValueRef parse = builtIn(context_, json, "parse");
    JSValueRef argument = JSValueMakeString(context_, text.ref());
    JSValueRef exception = nullptr;
    JSValueRef result =
        JSObjectCallAsFunction(context_, JSValueToObject(context_, parse, nullptr),
                               JSValueToObject(context_, json, nullptr), 1, &argument, &exception);
    if (!exception)
        return Value(context_, result);
    // The SyntaxError's message is the parser's description of the fault.
    if (JSValueRef message = builtIn(context_, exception, "message")) {
        if (JSStringRef description = JSValueToStringCopy(context_, message, nullptr))
            return String::adopt(description);
    }
    return String::fromAscii("The request line is not valid JSON");
}

} // namespace zov::engine
