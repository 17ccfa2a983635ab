#include "DockOptions.h"

#include <charconv>

namespace zov::dock {

namespace {

std::optional<int> parseSide(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 1 ||
        value > maxTileSide) {
        return std::nullopt;
    }
    return value;
}

bool parseSize(std::string_view text, DockOptions& options) {
    const auto separator = text.find('x');
    if (separator == std::string_view::npos) {
        return false;
    }
    const auto width = parseSide(text.substr(0, separator));
    const auto height = parseSide(text.substr(separator + 1));
    if (!width || !height) {
        return false;
    }
    options.width = *width;
    options.height = *height;
    return true;
}

} // namespace

std::optional<DockOptions> parseDockOptions(const std::vector<std::string>& arguments) {
    DockOptions options;
    bool haveBundle = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--help" || argument == "--version") {
            // Answered at once, as getopt_long's users do: the rest need not be a command line.
            options.information = argument == "--help" ? DockOptions::Information::help
                                                       : DockOptions::Information::version;
            return options;
        } else if (argument == "--size" && hasValue) {
            if (!parseSize(arguments[++i], options)) {
                return std::nullopt;
            }
        } else if (argument == "--out" && hasValue && !arguments[i + 1].empty()) {
            options.output = arguments[++i];
        } else if (!haveBundle && !argument.empty() && !argument.starts_with("--")) {
            options.plugInBundle = argument;
            haveBundle = true;
        } else {
            return std::nullopt;
        }
    }
    return haveBundle ? std::optional(options) : std::nullopt;
}

} // namespace zov::dock
