// Module loading and the effect values for the commands.
#include "commands/command_support.h"

#include <cstdio>
#include <cstdlib>

#include "command_line/exit_status.h"
#include "module/plugin_location.h"
#include "module/private_load.h"

namespace flanger::tool {

std::unique_ptr<PluginLibrary> LoadModule(const Invocation& invocation,
                                          const std::optional<std::string>& translation) {
    const std::string path =
        LocatePlugin(invocation.PluginPath, std::getenv("FLANGER_PLUGIN"), RunningExecutablePath());
    std::string error;
    std::unique_ptr<PluginLibrary> library = LoadModuleInPrivateFolder(path, translation, error);
    if (!library) ReportFailure("cannot load the module '" + path + "': " + error);
    return library;
}

std::optional<EffectParameters> ChooseParameters(const Invocation& invocation,
                                                 const PluginExports& module, MissingFile missing) {
    if (!invocation.Preset) {
        return invocation.Changes.AppliedTo(
            invocation.Factory != nullptr ? invocation.Factory->Settings : EffectParameters{});
    }
    std::string error;
    std::string absence;
    const std::optional<EffectParameters> loaded =
        LoadPresetParameters(module, *invocation.Preset, missing, error, &absence);
    if (!loaded) {
        ReportFailure(error);
        return std::nullopt;
    }
    // save-preset makes the location; the others would quietly run with a new effect's values.
    // A render of those is most likely a misspelt name whose output passes for the preset's, so
    // process and demo stop unless told that an empty location is expected.
    const bool rendering =
        invocation.Action == Command::Process || invocation.Action == Command::Demo;
    if (!absence.empty() && rendering && !invocation.AllowMissingPreset) {
        ReportFailure(absence + "; give --allow-missing-preset to use a new effect's values");
        return std::nullopt;
    }
    if (!absence.empty() && invocation.Action != Command::SavePreset) {
        ReportWarning(absence + "; a new effect's values are used");
    }
    const EffectParameters chosen = invocation.Changes.AppliedTo(*loaded);
    for (const EffectRange& range : kEffectRanges) {
        // The stored value, also when --no-feedback turned its sign: that is what the preset holds.
        const std::int32_t value = *loaded.*range.Member;
        if (invocation.Changes.Replaces(range.Member) || InWindowRange(range, value)) continue;
        ReportWarning(DescribeLocation(*invocation.Preset) + " holds " + std::string(range.Field) +
                      "=" + std::to_string(value) + " (" + DescribeValue(range, value) +
                      "), outside the range " + DescribeRange(range) + "; it is used as it is");
    }
    return chosen;
}

}  // namespace flanger::tool
