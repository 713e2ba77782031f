// "flanger process IN OUT": a sound file through the module into another, with the settings
// of a preset when one is named; with several INs or folders, the many-file run of batch_job.
#include "commands/command_support.h"
#include "commands/commands.h"
#include "many_files/batch_job.h"
#include "processing/file_processing.h"

namespace flanger::tool {

int RunProcess(const Invocation& invocation) {
    const std::unique_ptr<PluginLibrary> module = LoadModule(invocation);
    if (!module) return kExitFailure;
    // Loaded once, before any file: every file gets the same values and at most one warning.
    const std::optional<EffectParameters> parameters =
        ChooseParameters(invocation, module->Exports(), MissingFile::Refused);
    if (!parameters) return kExitFailure;
    const bool standardInput = invocation.InputPaths.front() == "-";
    if (IsBatchProcess(invocation)) {
        if (standardInput) {
            return ReportFailure("standard input ('-') goes with one OUT file, not the folder '" +
                                 invocation.OutputPath + "'");
        }
        return RunBatchProcess(invocation, module->Exports(), *parameters);
    }

    FileProcessing file;
    file.Module = &module->Exports();
    file.Parameters = *parameters;
    std::string refusal;
    // Without an extension the input's container is kept.
    file.Format = ChooseContainer(invocation.Format, invocation.OutputPath, std::nullopt, refusal);
    if (!refusal.empty()) return ReportFailure(refusal);
    file.SampleEncoding = invocation.SampleEncoding;
    file.RawInput = invocation.RawInput;
    file.Quality = invocation.Quality;
    file.BitrateKbps = invocation.BitrateKbps;
    file.InputPath = invocation.InputPaths.front();
    file.OutputPath = invocation.OutputPath;
    file.ClipWarning = invocation.ClipWarning;
    file.AutoLevel = invocation.AutoLevel;
    const RenderResult result = ProcessFile(file);
    for (const std::string& note : result.Notes) ReportNote(note);
    for (const std::string& warning : result.Warnings) ReportWarning(warning);
    if (!result.Error.empty()) ReportFailure(result.Error);
    return result.Status;
}

}  // namespace flanger::tool
