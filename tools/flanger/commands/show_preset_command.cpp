// "flanger show-preset": the six values a preset gives a new effect, in typed units and as
// stored.
#include <cstdio>

#include "commands/command_support.h"
#include "commands/commands.h"

namespace flanger::tool {

int RunShowPreset(const Invocation& invocation) {
    const std::unique_ptr<PluginLibrary> module = LoadModule(invocation);
    if (!module) return kExitFailure;
    std::string error;
    std::string absence;
    const std::optional<EffectParameters> loaded = LoadPresetParameters(
        module->Exports(), *invocation.Preset, MissingFile::Refused, error, &absence);
    if (!loaded) return ReportFailure(error);
    if (!absence.empty()) ReportWarning(absence + "; these are a new effect's values");
    // Values outside the window's ranges are marked in the listing itself, not warned about:
    // showing them is what was asked for.
    for (const std::string& line : DescribeParameters(*loaded)) std::printf("%s\n", line.c_str());
    return 0;
}

}  // namespace flanger::tool
