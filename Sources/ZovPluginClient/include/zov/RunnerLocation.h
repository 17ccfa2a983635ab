#pragma once

// Where the library finds the runner program, ZovPluginHost, when the caller names none.

#include <zov/PluginClientExport.h>

#include <string>

namespace zov::client {

// The runner that calls start unless the caller names one in RunnerCommand::path:
//   1. the program that the environment variable ZOV_PLUGIN_HOST names, when it is set and not
//      empty (for development: a runner of a build tree, or one under a debugger's wrapper);
//   2. otherwise the runner installed beside this library: PREFIX/libexec/zov/ZovPluginHost for
//      the library PREFIX/lib/.../libZovPluginClient.so, found from the library's own location
//      with symbolic links resolved, so that a prefix moved elsewhere as a whole still works.
// Throws std::system_error, naming the path it tried, when that is not an executable file.
ZOV_PLUGIN_CLIENT_EXPORT std::string defaultRunnerPath();

} // namespace zov::client
