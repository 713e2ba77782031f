// Where the flanger command finds the module it hosts.
#pragma once

#include <optional>
#include <string>

namespace flanger::tool {

// The module file: the --plugin path when given, else the FLANGER_PLUGIN value when set and not
// empty (null: unset), else Plugin.so in the directory of the running executable when it is
// there (a build tree), else the installed Plugin.so in the module folder found relative to the
// executable (bin/../lib/<multiarch>/flanger), else again the path beside the executable.
std::string LocatePlugin(const std::optional<std::string>& optionPath, const char* environmentPath,
                         const std::string& executablePath);

// The running executable's path from /proc/self/exe; empty when it cannot be read.
std::string RunningExecutablePath();

}  // namespace flanger::tool
