// Opening and checking an input file, then rendering it.
#include "processing/file_processing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "audio/file_stream.h"
#include "audio/sound_file.h"
#include "command_line/exit_status.h"

namespace flanger::tool {
namespace {

// The containers libsndfile reads front to back, so that a pipe delivers them whole. The others
// (CAF, RF64, ...) it reads short or empty from a pipe without saying so; FLAC not at all.
bool ReadsFromPipe(SoundFormat format) {
    const std::optional<Container> container = ContainerOf(format);
    return container == Container::Wav || container == Container::Aiff || container == Container::Raw ||
           container == Container::Au || container == Container::Ogg ||
           container == Container::Opus || container == Container::Mp3;
}

constexpr const char* kSeekableOnly =
    "libsndfile reads FLAC, CAF, RF64 and other containers only from a file it can seek in; "
    "give the file's name, or redirect it with '<' instead of a pipe";

// A FileSource over a reader of its own.
class OwningFileSource final : public AudioSource {
public:
    explicit OwningFileSource(std::unique_ptr<SoundReader> reader)
        : Reader(std::move(reader)), Source(*Reader, BlockFramesFor(Reader->Channels())) {}
    std::uint32_t Read(std::span<float* const> channels, std::uint32_t frames) noexcept override {
        return Source.Read(channels, frames);
    }
    std::string Failure() const override { return Source.Failure(); }

private:
    std::unique_ptr<SoundReader> Reader;
    FileSource Source;
};

}  // namespace

RenderResult ProcessFile(const FileProcessing& file) {
    const std::string& input = file.InputPath;
    const bool fromStandardInput = input == "-";
    const std::string named = fromStandardInput ? "standard input" : "'" + input + "'";
    const auto failure = [](std::string error) {
        return RenderResult{kExitFailure, std::move(error), {}, {}};
    };
    // libsndfile's own message for a missing file is vaguer than the system's.
    struct stat status {};
    if (fromStandardInput ? fstat(STDIN_FILENO, &status) != 0 : stat(input.c_str(), &status) != 0) {
        return failure("cannot open " + named + ": " + std::strerror(errno));
    }
    if (S_ISDIR(status.st_mode)) return failure(named + " is a directory");
    std::string error;
    const std::unique_ptr<SoundReader> reader = SoundReader::Open(input, error, file.RawInput);
    const bool pipe = S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode);
    if (!reader && !file.RawInput.Given() && ContainerForFileName(input) == Container::Raw) {
        return failure(named +
                       " holds raw samples, which have no header to say their shape: give "
                       "--rate, --channels and --input-encoding");
    }
    if (!reader) {
        if (!error.empty() && error.back() == '.') error.pop_back();
        return failure("cannot read " + named + " as audio: " + error +
                       (pipe ? std::string("; ") + kSeekableOnly : std::string()));
    }
    if (pipe && !ReadsFromPipe(reader->Format())) {
        return failure(named + " holds " + DescribeFormat(reader->Format()) + "; " + kSeekableOnly);
    }
    if (reader->Channels() > std::numeric_limits<std::uint16_t>::max()) {
        return failure(named + " has " + std::to_string(reader->Channels()) +
                       " channels; the module takes at most 65535");
    }
    if (const std::string fault = reader->HeaderFault(); !fault.empty()) {
        return failure(named + " is damaged: " + fault);
    }
    if (reader->Channels() < 1 || reader->SampleRate() < 1) {
        return failure(named + " has no channels or no sample rate");
    }

    const StreamShape shape{static_cast<std::uint16_t>(reader->Channels()),
                            static_cast<std::uint32_t>(reader->SampleRate())};
    FileSource source(*reader, BlockFramesFor(shape.Channels));
    RenderJob job;
    job.Module = file.Module;
    job.Parameters = file.Parameters;
    job.Source = &source;
    job.Shape = shape;
    // A pipe's header may state any length (a writer that streams cannot know it).
    const std::optional<std::int64_t> stated = pipe ? std::nullopt : reader->FrameCount();
    job.TotalFrames = stated;
    job.SourceFormat = reader->Format();
    job.Format = file.Format;
    job.SampleEncoding = file.SampleEncoding;
    std::optional<double> averageKbps;
    if (stated && *stated > 0 && S_ISREG(status.st_mode)) {
        const double seconds = static_cast<double>(*stated) / reader->SampleRate();
        averageKbps = static_cast<double>(status.st_size) * 8.0 / 1000.0 / seconds;
    }
    job.Lossy.Quality =
        file.Quality.value_or(QualityForInput(IsLossyFormat(reader->Format()), averageKbps));
    job.Lossy.ConstantKbps = file.BitrateKbps;
    if (!file.Quality && !file.BitrateKbps && IsLossyFormat(reader->Format())) {
        job.Lossy.KeptKbps = averageKbps;
    }
    job.LossyOption = file.BitrateKbps ? "--bitrate" : file.Quality ? "--quality" : "";
    job.Tags = reader->Tags();
    job.InputPath = input;
    job.OutputPath = file.OutputPath;
    job.ClipWarning = file.ClipWarning;
    job.AutoLevel = file.AutoLevel;
    // Only a file can be read again from its start.
    if (S_ISREG(status.st_mode) && !fromStandardInput) {
        job.ReadAgain = [&input, &file](std::string& error) -> std::unique_ptr<AudioSource> {
            std::unique_ptr<SoundReader> again = SoundReader::Open(input, error, file.RawInput);
            if (!again) return nullptr;
            return std::make_unique<OwningFileSource>(std::move(again));
        };
    }
    job.Progress = file.Progress;
    job.CleanupSlot = file.CleanupSlot;
    // A regular file; a pipe or device may keep its reader waiting.
    job.ReadAhead = S_ISREG(status.st_mode);
    RenderResult result = RenderOutput(job);
    if (result.Status != 0) return result;
    const std::string damage = reader->DamageNote();
    if (!damage.empty() || (stated && source.FramesRead() < *stated)) {
        std::string warning = named + " is truncated or damaged";
        if (!damage.empty()) warning += " (" + damage + ")";
        if (stated && source.FramesRead() < *stated) {
            warning += ": it ended after " + std::to_string(source.FramesRead()) + " of " +
                       std::to_string(*stated) + " frames";
        }
        warning += "; the output holds only the " + std::to_string(source.FramesRead()) +
                   " frames that could be read";
        result.Warnings.insert(result.Warnings.begin(), std::move(warning));
    }
    if (const std::int64_t count = source.NonFiniteSamples(); count > 0) {
        result.Warnings.push_back(named + " holds " + std::to_string(count) +
                                  (count == 1 ? " sample that is" : " samples that are") +
                                  " not a number (NaN or infinite); taken as silence");
    }
    return result;
}

}  // namespace flanger::tool
