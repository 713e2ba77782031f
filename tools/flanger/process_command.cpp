// "flanger process IN OUT": a sound file through the module into another, with the settings
// of a preset when one is named.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "command_support.h"
#include "commands.h"
#include "file_stream.h"
#include "render_job.h"

namespace flanger::tool {

int RunProcess(const Invocation& invocation) {
    const std::unique_ptr<PluginLibrary> module = LoadModule(invocation);
    if (!module) return kExitFailure;
    const std::optional<EffectParameters> parameters =
        ChooseParameters(invocation, module->Exports(), MissingFile::Refused);
    if (!parameters) return kExitFailure;

    const std::string& input = invocation.InputPath;
    // libsndfile's own message for a missing file is vaguer than the system's.
    struct stat status {};
    if (stat(input.c_str(), &status) != 0) {
        return ReportFailure("cannot open '" + input + "': " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) return ReportFailure("'" + input + "' is a directory");
    std::string error;
    const std::unique_ptr<SoundReader> reader = SoundReader::Open(input, error);
    if (!reader) return ReportFailure("cannot read '" + input + "' as audio: " + error);
    if (reader->Channels() > std::numeric_limits<std::uint16_t>::max()) {
        return ReportFailure("'" + input + "' has " + std::to_string(reader->Channels()) +
                             " channels; the module takes at most 65535");
    }
    if (reader->Channels() < 1 || reader->SampleRate() < 1) {
        return ReportFailure("'" + input + "' has no channels or no sample rate");
    }

    const StreamShape shape{static_cast<std::uint16_t>(reader->Channels()),
                            static_cast<std::uint32_t>(reader->SampleRate())};
    FileSource source(*reader, BlockFramesFor(shape.Channels));
    RenderJob job;
    job.Module = &module->Exports();
    job.Parameters = *parameters;
    job.Source = &source;
    job.Shape = shape;
    job.TotalFrames = reader->FrameCount();
    job.SourceFormat = reader->Format();
    job.Format = invocation.Format;
    job.SampleEncoding = invocation.SampleEncoding;
    job.InputPath = input;
    job.OutputPath = invocation.OutputPath;
    return Render(job);
}

}  // namespace flanger::tool
