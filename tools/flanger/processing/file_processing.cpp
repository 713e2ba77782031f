// Opening and checking an input file, then rendering it.
#include "processing/file_processing.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "audio/file_stream.h"
#include "audio/sound_file.h"
#include "command_line/commands.h"

namespace flanger::tool {

RenderResult ProcessFile(const FileProcessing& file) {
    const std::string& input = file.InputPath;
    const auto failure = [](std::string error) {
        return RenderResult{kExitFailure, std::move(error)};
    };
    // libsndfile's own message for a missing file is vaguer than the system's.
    struct stat status {};
    if (stat(input.c_str(), &status) != 0) {
        return failure("cannot open '" + input + "': " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) return failure("'" + input + "' is a directory");
    std::string error;
    const std::unique_ptr<SoundReader> reader = SoundReader::Open(input, error);
    if (!reader) return failure("cannot read '" + input + "' as audio: " + error);
    if (reader->Channels() > std::numeric_limits<std::uint16_t>::max()) {
        return failure("'" + input + "' has " + std::to_string(reader->Channels()) +
                       " channels; the module takes at most 65535");
    }
    if (reader->Channels() < 1 || reader->SampleRate() < 1) {
        return failure("'" + input + "' has no channels or no sample rate");
    }

    const StreamShape shape{static_cast<std::uint16_t>(reader->Channels()),
                            static_cast<std::uint32_t>(reader->SampleRate())};
    FileSource source(*reader, BlockFramesFor(shape.Channels));
    RenderJob job;
    job.Module = file.Module;
    job.Parameters = file.Parameters;
    job.Source = &source;
    job.Shape = shape;
    job.TotalFrames = reader->FrameCount();
    job.SourceFormat = reader->Format();
    job.Format = file.Format;
    job.SampleEncoding = file.SampleEncoding;
    job.InputPath = input;
    job.OutputPath = file.OutputPath;
    job.Progress = file.Progress;
    job.CleanupSlot = file.CleanupSlot;
    // A regular file; a pipe or device may keep its reader waiting.
    job.ReadAhead = S_ISREG(status.st_mode);
    return RenderOutput(job);
}

}  // namespace flanger::tool
