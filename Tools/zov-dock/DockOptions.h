#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zov::dock {

struct DockOptions {
    // --help or --version: print that on standard output and exit, whatever follows.
    enum class Information { none, help, version };
    Information information = Information::none;

    std::string plugInBundle;
    int width = 128;
    int height = 128;
    std::string output = "tile.png";
};

inline constexpr int maxTileSide = 4096;

inline constexpr const char* usage =
    "usage: zov-dock PLUGIN_BUNDLE [--size WIDTHxHEIGHT] [--out FILE]\n";

inline constexpr const char* help =
    "\n"
    "Plays the dock for one dock tile plug-in: loads the bundle's executable,\n"
    "creates its principal class, hands it a tile and prints \"ready\". Every\n"
    "redraw writes the tile to FILE as a PNG image and prints \"displayed FILE\".\n"
    "Runs until SIGINT or SIGTERM, then detaches the plug-in and exits 0.\n"
    "\n"
    "options:\n"
    "  --size WIDTHxHEIGHT  the tile's size in pixels (default 128x128)\n"
    "  --out FILE           where each redraw is written (default tile.png)\n"
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Exit status: 0 when stopped by a signal, 1 when the plug-in cannot be\n"
    "loaded, 2 for a command line that is not one.\n";

// The options of a command line without the program's name, or none when it is not one.
std::optional<DockOptions> parseDockOptions(const std::vector<std::string>& arguments);

} // namespace zov::dock
