#include "zov/ClassRegistry.h"

#include <map>
#include <mutex>

namespace zov {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, ClassAllocator, std::less<>> classes;
};

// Never destroyed, so that libraries unloaded at exit can still unregister in any order.
Registry& registry() {
    static auto* const instance = new Registry;
    return *instance;
}

} // namespace

Object::~Object() = default;

Object& Object::init() {
    return *this;
}

ClassRegistration::ClassRegistration(std::string name, ClassAllocator allocate)
    : className(std::move(name)), allocator(allocate) {
    auto& classes = registry();
    const std::lock_guard lock(classes.mutex);
    active = classes.classes.try_emplace(className, allocator).second;
}

ClassRegistration::~ClassRegistration() {
    if (!active) {
        return;
    }
    auto& classes = registry();
    const std::lock_guard lock(classes.mutex);
    classes.classes.erase(className);
}

std::shared_ptr<Object> allocateInstance(std::string_view className) {
    ClassAllocator allocate = nullptr;
    {
        auto& classes = registry();
        const std::lock_guard lock(classes.mutex);
        const auto found = classes.classes.find(className);
        if (found == classes.classes.end()) {
            return nullptr;
        }
        allocate = found->second;
    }
    return allocate();
}

} // namespace zov
