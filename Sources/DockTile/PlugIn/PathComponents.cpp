#include "PathComponents.h"

namespace zov::docktile {

namespace {

std::string withoutTrailingSlashes(std::string location) {
    while (location.size() > 1 && location.back() == '/') {
        location.pop_back();
    }
    return location;
}

} // namespace

std::string deletingLastPathComponent(const std::string& location) {
    const std::string trimmed = withoutTrailingSlashes(location);
    const auto slash = trimmed.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    if (slash == 0) {
        return "/";
    }
    return withoutTrailingSlashes(trimmed.substr(0, slash));
}

std::string deletingLastPathComponents(std::string location, int count) {
    for (int i = 0; i < count; ++i) {
        location = deletingLastPathComponent(location);
    }
    return location;
}

} // namespace zov::docktile
