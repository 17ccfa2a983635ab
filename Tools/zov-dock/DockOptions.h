#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zov::dock {

struct DockOptions {
    std::string plugInBundle;
    int width = 128;
    int height = 128;
    std::string output = "tile.png";
};

inline constexpr int maxTileSide = 4096;

inline constexpr const char* usage =
    "usage: zov-dock PLUGIN_BUNDLE [--size WIDTHxHEIGHT] [--out FILE]\n";

// The options of a command line without the program's name, or none when it is not one.
std::optional<DockOptions> parseDockOptions(const std::vector<std::string>& arguments);

} // namespace zov::dock
