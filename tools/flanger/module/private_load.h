// Loading the module away from the folder the command runs in. The module picks its resource
// language when it loads, from "Language.xml" in the current directory, and loads the library
// that file names: in a folder of downloaded files, that would run a stranger's code. So the
// command loads it with the current directory set to a private, empty one of its own for the
// duration of the load; with --translation, that directory holds a Language.xml naming the
// translation, and nothing else does.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "module/plugin_library.h"

namespace flanger::tool {

// Loads the module at `path` (absolute, or relative to the current directory) from a private
// directory that holds a Language.xml naming `translation` (an absolute path) when one is given.
// Null with the reason in `error`.
std::unique_ptr<PluginLibrary> LoadModuleInPrivateFolder(
    const std::string& path, const std::optional<std::string>& translation, std::string& error);

// `path` made absolute against the current directory.
std::string AbsolutePath(const std::string& path);

}  // namespace flanger::tool
