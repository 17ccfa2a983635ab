// zov-dock: plays the dock's part for one dock tile plug-in. Loads the plug-in bundle's
// executable, instantiates its principal class through the class registry, hands it a tile and
// runs the main loop until SIGINT or SIGTERM, then detaches the plug-in and exits 0.
#include "DockOptions.h"
#include "ImageFile.h"
#include "PlugInBundle.h"
#include "PngDockTile.h"
#include "zov/ClassRegistry.h"

#include <csignal>
#include <cstdio>
#include <dlfcn.h>
#include <glib-unix.h>

namespace {

using namespace zov;
using namespace zov::dock;

int fail(const std::string& message) {
    std::fprintf(stderr, "zov-dock: %s\n", message.c_str());
    return 1;
}

gboolean quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}

} // namespace

int main(int argc, char** argv) {
    const auto options = parseDockOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options) {
        std::fputs(usage, stderr);
        std::fputs("Try 'zov-dock --help' for the options.\n", stderr);
        return 2;
    }
    switch (options->information) {
    case DockOptions::Information::help:
        std::fputs(usage, stdout);
        std::fputs(help, stdout);
        return 0;
    case DockOptions::Information::version:
        std::puts("zov-dock " ZOV_VERSION);
        return 0;
    case DockOptions::Information::none:
        break;
    }
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGINT, quit, loop);
    g_unix_signal_add(SIGTERM, quit, loop);

    const auto bundle = readPlugInBundle(options->plugInBundle);
    if (!bundle) {
        return fail(options->plugInBundle +
                    ": no NSPrincipalClass or CFBundleExecutable in Contents/Info.plist");
    }
    // Plug-ins stay loaded for the life of the dock.
    if (!dlopen(bundle->executable.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        return fail(dlerror());
    }
    const std::shared_ptr<Object> object = allocateInstance(bundle->principalClass);
    const auto plugIn = std::dynamic_pointer_cast<DockTilePlugIn>(object);
    if (!plugIn) {
        return fail("no dock tile plug-in class named " + bundle->principalClass);
    }
    object->init();

    const Image icon =
        bundle->applicationIcon ? docktile::loadImageFile(*bundle->applicationIcon) : nullptr;
    plugIn->setDockTile(
        std::make_shared<PngDockTile>(options->width, options->height, icon, options->output));
    std::puts("ready");
    std::fflush(stdout);

    g_main_loop_run(loop);
    plugIn->setDockTile(nullptr);
    g_main_loop_unref(loop);
    return 0;
}
