#include "OwnBundleLocation.h"

#include "PathComponents.h"
#include "ThisLibrary.h"

namespace zov::docktile {

std::string ownBundleLocation() {
    const std::string library = thisLibraryFile();
    if (library.empty()) {
        return {};
    }
    // The library is the bundle's Contents/MacOS/NAME.so.
    return deletingLastPathComponents(library, 3);
}

} // namespace zov::docktile
