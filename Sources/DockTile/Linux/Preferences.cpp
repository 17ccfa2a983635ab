#include "Preferences.h"

#include <cstdlib>

namespace zov::docktile {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

std::optional<std::string> preferencesFile(const std::string& applicationID) {
    if (applicationID.find('/') != std::string::npos) {
        return std::nullopt;
    }
    std::string directory = environment("XDG_CONFIG_HOME");
    if (directory.empty()) {
        const std::string home = environment("HOME");
        if (home.empty()) {
            return std::nullopt;
        }
        directory = home + "/.config";
    }
    return directory + "/" + applicationID + ".plist";
}

void Preferences::synchronize(const std::string& applicationID) {
    const auto file = preferencesFile(applicationID);
    PropertyList root = file ? readPropertyListFile(*file) : nullptr;
    if (root && plist_get_node_type(root.get()) != PLIST_DICT) {
        root.reset();
    }
    domains.insert_or_assign(applicationID, std::move(root));
}

PropertyList Preferences::copyValue(const std::string& key, const std::string& applicationID) {
    if (!domains.contains(applicationID)) {
        synchronize(applicationID);
    }
    const plist_t value = dictionaryValue(domains[applicationID].get(), key.c_str());
    return PropertyList(value ? plist_copy(value) : nullptr);
}

} // namespace zov::docktile
