// "flanger info": what the module says about itself.
#include <cstdio>

#include "commands/command_support.h"
#include "commands/commands.h"

namespace flanger::tool {

int RunInfo(const Invocation& invocation) {
    const std::unique_ptr<PluginLibrary> module = LoadModule(invocation);
    if (!module) return kExitFailure;
    PlugInInformation information{};
    information.Size = sizeof(PlugInInformation);
    if (module->Exports().PlugInInfo(&information) != 1) {
        return ReportFailure("the module refused to describe itself");
    }
    const auto text = [](const char* value) { return value != nullptr ? value : "(none)"; };
    std::printf("Name:   %s\nVendor: %s\n", text(information.Name), text(information.Vendor));
    return 0;
}

}  // namespace flanger::tool
