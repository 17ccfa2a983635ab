#pragma once

#include "PropertyListFile.h"

#include <map>
#include <optional>
#include <string>

namespace zov::docktile {

// The file that holds an application's preferences: IDENTIFIER.plist in $XDG_CONFIG_HOME, or in
// $HOME/.config when XDG_CONFIG_HOME is unset or empty. None when neither is set, or when the
// identifier would name a file elsewhere.
std::optional<std::string> preferencesFile(const std::string& applicationID);

// This process's view of applications' preferences: a dictionary per application, read from its
// file on first use and read again at every synchronisation. A missing, unreadable or malformed
// file means no values.
class Preferences {
public:
    void synchronize(const std::string& applicationID);
    // A copy of the stored value, or none.
    PropertyList copyValue(const std::string& key, const std::string& applicationID);

private:
    std::map<std::string, PropertyList> domains;
};

} // namespace zov::docktile
