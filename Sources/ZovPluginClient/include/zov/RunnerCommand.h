#pragma once

// The runner program that a call starts.

#include <zov/RunnerLocation.h>

#include <string>
#include <vector>

namespace zov::client {

// The runner program to start: its path, and arguments for a runner started through a wrapper.
//
// A path set by the caller wins. Left out, it is defaultRunnerPath(): ZOV_PLUGIN_HOST, else the
// runner installed beside this library. That look-up happens when the command is made, and throws
// std::system_error when it finds no runner: name the path as the command is made
// (`RunnerCommand{"/path/to/ZovPluginHost"}`) to use a runner of your own where none is installed.
struct RunnerCommand {
    std::string path = defaultRunnerPath();
    std::vector<std::string> arguments = {};
};

} // namespace zov::client
