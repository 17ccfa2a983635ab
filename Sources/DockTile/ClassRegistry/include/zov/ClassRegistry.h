// The class registry: plug-ins register their classes by name when they are loaded, and the dock
// instantiates a class by the name that a plug-in bundle gives as its principal class.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#define ZOV_RUNTIME_API __attribute__((visibility("default")))

namespace zov {

// The root of every class that the registry can instantiate.
class ZOV_RUNTIME_API Object {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();

    // Completes the set-up of a freshly allocated object and returns it.
    virtual Object& init();
};

// Allocates an instance that has not been initialised yet.
using ClassAllocator = std::shared_ptr<Object> (*)();

// Registers a class for as long as this object lives. The first registration of a name wins; a
// later one with the same name stays inactive and leaves the first one in place.
class ZOV_RUNTIME_API ClassRegistration {
public:
    ClassRegistration(std::string className, ClassAllocator allocator);
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;
    ~ClassRegistration();

    bool isActive() const { return active; }

private:
    std::string className;
    ClassAllocator allocator;
    bool active;
};

// A new, uninitialised instance of the class registered under that name, or none.
ZOV_RUNTIME_API std::shared_ptr<Object> allocateInstance(std::string_view className);

} // namespace zov
