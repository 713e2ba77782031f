// "flanger demo OUT": the built-in test signal through the module, with the settings of a
// preset when one is named.
#include "commands/command_support.h"
#include "commands/commands.h"
#include "processing/demo_signal.h"
#include "processing/render_job.h"

namespace flanger::tool {

int RunDemo(const Invocation& invocation) {
    const std::unique_ptr<PluginLibrary> module = LoadModule(invocation);
    if (!module) return kExitFailure;
    const std::optional<EffectParameters> parameters =
        ChooseParameters(invocation, module->Exports(), MissingFile::Refused);
    if (!parameters) return kExitFailure;

    DemoSignal source;
    RenderJob job;
    job.Module = &module->Exports();
    job.Parameters = *parameters;
    job.Source = &source;
    job.Shape = StreamShape{kDemoChannels, kDemoSampleRate};
    job.TotalFrames = kDemoFrames;
    // The signal is described as 16-bit PCM, so that is what a container that holds it gets.
    job.SourceFormat = MakeSoundFormat(Container::Wav, Encoding::Pcm16);
    std::string refusal;
    job.Format = ChooseContainer(invocation.Format, invocation.OutputPath, Container::Wav, refusal);
    if (!refusal.empty()) return ReportFailure(refusal);
    job.SampleEncoding = invocation.SampleEncoding;
    job.Lossy.Quality = invocation.Quality.value_or(QualityForInput(false, std::nullopt));
    job.Lossy.ConstantKbps = invocation.BitrateKbps;
    job.LossyOption = invocation.BitrateKbps ? "--bitrate" : invocation.Quality ? "--quality" : "";
    job.OutputPath = invocation.OutputPath;
    job.ClipWarning = invocation.ClipWarning;
    job.AutoLevel = invocation.AutoLevel;
    job.ReadAgain = [](std::string&) -> std::unique_ptr<AudioSource> {
        return std::make_unique<DemoSignal>();
    };
    return Render(job);
}

}  // namespace flanger::tool
