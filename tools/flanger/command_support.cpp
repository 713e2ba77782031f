// Failure reports and module loading for the commands.
#include "command_support.h"

#include <cstdio>
#include <cstdlib>

#include "commands.h"
#include "plugin_location.h"

namespace flanger::tool {

int ReportFailure(const std::string& message) {
    std::fprintf(stderr, "flanger: %s\n", message.c_str());
    return kExitFailure;
}

std::unique_ptr<PluginLibrary> LoadModule(const Invocation& invocation) {
    const std::string path =
        LocatePlugin(invocation.PluginPath, std::getenv("FLANGER_PLUGIN"), RunningExecutablePath());
    std::string error;
    std::unique_ptr<PluginLibrary> library = PluginLibrary::Load(path, error);
    if (!library) ReportFailure("cannot load the module '" + path + "': " + error);
    return library;
}

}  // namespace flanger::tool
