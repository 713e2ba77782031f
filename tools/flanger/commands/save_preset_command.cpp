// "flanger save-preset": effect values stored as a preset. It starts from what the location
// already holds, so that a command naming one value changes that value and keeps the others.
#include "commands/command_support.h"
#include "commands/commands.h"
#include "presets/xml_preset_file.h"

namespace flanger::tool {

int RunSavePreset(const Invocation& invocation) {
    const std::unique_ptr<PluginLibrary> module = LoadModule(invocation);
    if (!module) return kExitFailure;
    std::string error;
    const std::optional<SaveLock> lock = LockPresetAgainstSaves(*invocation.Preset, error);
    if (!lock) return ReportFailure(error);
    // A file that is not there yet is made by the save.
    const std::optional<EffectParameters> parameters =
        ChooseParameters(invocation, module->Exports(), MissingFile::Allowed);
    if (!parameters) return kExitFailure;
    if (!SavePresetParameters(module->Exports(), *invocation.Preset, *parameters, error)) {
        return ReportFailure(error);
    }
    return 0;
}

}  // namespace flanger::tool
