// Rendering a source through the module into OUT.
#include "processing/render_job.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

#include "audio/file_stream.h"
#include "audio/output_file.h"
#include "audio/pipelined_io.h"
#include "audio/standard_output.h"
#include "command_line/exit_status.h"
#include "command_line/reporting.h"
#include "processing/auto_level.h"
#include "processing/interrupt.h"
#include "processing/progress_bar.h"

namespace flanger::tool {
namespace {

// Whether an OUT named for `announced` may hold `format`: its own container, or a relative
// that readers of the name take as well (RF64 for .wav).
bool Announces(Container announced, SoundFormat format) {
    const std::optional<Container> actual = ContainerOf(format);
    return actual == announced || (announced == Container::Wav && actual == Container::Rf64) ||
           (announced == Container::Ogg && actual == Container::Opus);
}

// Refuses an OUT whose extension promises another container than the bytes it would hold.
std::string CheckExtension(const std::string& path, SoundFormat format) {
    const std::optional<Container> announced = ContainerForFileName(path);
    if (!announced || Announces(*announced, format)) return {};
    return "'" + path + "' names " + WithArticle(*announced) + " file but the output would be " +
           DescribeFormat(format) + "; add --format " + std::string(ContainerName(*announced)) +
           " or choose a name that fits";
}

RenderResult Failure(std::string error) {
    return RenderResult{kExitFailure, std::move(error), {}, {}};
}

// What the warnings advise: the level that keeps the peak below full scale.
std::string LevelAdvice(double peak, std::int32_t level) {
    return "; --gain " + LevelText(LevelForPeak(peak, level)) + " would avoid it (or --gain auto)";
}

// "'out.wav': 1234 samples beyond full scale clipped (peak 1.520, +3.6 dBFS); --gain ...".
std::string ClippingWarning(const std::string& out, std::int64_t count, double peak,
                            std::int32_t level) {
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "peak %.3f, ", peak);
    return Named(out) + ": " + std::to_string(count) + (count == 1 ? " sample" : " samples") +
           " beyond full scale clipped (" + numbers + DecibelsFullScale(peak) + ")" +
           LevelAdvice(peak, level);
}

// A float or lossy output keeps what lies beyond full scale, until a player clips it.
std::string PeakWarning(const std::string& out, double peak, std::int32_t level) {
    return Named(out) + ": peaks at " + DecibelsFullScale(peak) + "; will clip when played" +
           LevelAdvice(peak, level);
}

// The first pass of --gain auto: the level for the peak the output reaches at 0 dB.
RenderResult ChooseLevel(const RenderJob& job, EffectParameters& parameters) {
    if (!job.ReadAgain) {
        return Failure(
            "--gain auto reads the input twice, and standard input can be read only once; "
            "save it to a file first, or give --gain in decibels");
    }
    std::string error;
    const std::unique_ptr<AudioSource> again = job.ReadAgain(error);
    if (!again) return Failure(error);
    parameters.Level = 0;
    PeakSink peak;
    const StreamResult result = RunStream(*job.Module, parameters, job.Shape, *again, peak, {},
                                          &InterruptRequested);
    if (result.Outcome == StreamOutcome::Interrupted) return {kInterruptedExitStatus, {}, {}, {}};
    if (result.Outcome == StreamOutcome::Failed) return Failure(result.Error);
    parameters.Level = peak.Peak() > 0.0 ? LevelForPeak(peak.Peak(), 0) : 0;
    RenderResult chosen;
    if (peak.Peak() > 0.0) {
        chosen.Notes.push_back(Named(job.OutputPath) + ": --gain auto chose " +
                               LevelText(parameters.Level) + " dB (the effect peaks at " +
                               DecibelsFullScale(peak.Peak()) + " at 0.0 dB)");
    }
    return chosen;
}

// The output's sink, whose failures name the file (libsndfile's reasons name none).
class NamedSink final : public AudioSink {
public:
    NamedSink(AudioSink& sink, const std::string& path) : Sink(sink), Path(path) {}
    bool Write(std::span<const float* const> channels, std::uint32_t frames,
               std::string& error) override {
        if (Sink.Write(channels, frames, error)) return true;
        error = "cannot write " + Named(Path) + ": " + error;
        return false;
    }

private:
    AudioSink& Sink;
    const std::string& Path;
};

}  // namespace

std::string Named(const std::string& path) {
    return path == "-" ? "standard output" : "'" + path + "'";
}

RenderResult RenderOutput(const RenderJob& job) {
    const bool toStandardOutput = job.OutputPath == "-";
    const FormatChoice choice =
        ChooseOutputFormat(job.SourceFormat, job.Format, job.SampleEncoding, job.Shape.Channels,
                           static_cast<int>(job.Shape.SampleRate));
    if (!choice.Format) return Failure(choice.Error);
    std::string error;
    std::optional<std::string> target;
    if (toStandardOutput) {
        if (StandardOutputIsTerminal()) {
            return Failure(
                "standard output is a terminal; redirect it to a file or a pipe, or "
                "name OUT");
        }
    } else {
        if (std::string refusal = CheckExtension(job.OutputPath, *choice.Format);
            !refusal.empty()) {
            return Failure(std::move(refusal));
        }
        target = ResolveOutputTarget(job.OutputPath, error);
        if (!target) return Failure(error);
        // SameFile follows links, so this also catches OUT linking to IN.
        if (!job.InputPath.empty() && job.InputPath != "-" &&
            SameFile(job.InputPath, job.OutputPath)) {
            return Failure("'" + job.OutputPath + "' is the input file; choose another OUT");
        }
        if (job.InputPath == "-" && IsStandardInput(job.OutputPath)) {
            return Failure("'" + job.OutputPath +
                           "' is the file standard input reads; choose another OUT");
        }
    }

    InstallInterruptHandlers();
    EffectParameters parameters = job.Parameters;
    RenderResult done;
    if (job.AutoLevel) {
        done = ChooseLevel(job, parameters);
        if (done.Status != 0) return done;
    }
    // Disarmed on every way out, after `output` has removed its file: a slot left armed would
    // remove a name that a later job in the same slot may be given again.
    struct CleanupRegistration {
        int Slot;
        ~CleanupRegistration() { SetInterruptCleanupPath(Slot, nullptr); }
    } const registration{job.CleanupSlot};
    std::unique_ptr<PendingOutput> output;
    std::unique_ptr<SpooledOutput> spool;
    // A pipe takes WAV, AU and raw samples as they come, with the header's sizes unknown; other
    // formats, and a standard output that is a file, are written whole first and copied there.
    const bool streamed = toStandardOutput && WritesToPipe(*choice.Format) &&
                          lseek(STDOUT_FILENO, 0, SEEK_CUR) < 0 && errno == ESPIPE;
    if (toStandardOutput && !streamed) {
        spool = SpooledOutput::Create(error);
        if (!spool) return Failure(error);
    } else if (!toStandardOutput) {
        output = PendingOutput::Create(*target, error);
        if (!output) return Failure(error);
        SetInterruptCleanupPath(job.CleanupSlot, output->TemporaryPath().c_str());
    }
    // Declared after `output` so that it lets go of the descriptor before the file is removed.
    const int rate = static_cast<int>(job.Shape.SampleRate);
    const std::unique_ptr<SoundWriter> writer =
        streamed ? SoundWriter::OpenStream(STDOUT_FILENO, *choice.Format, job.Shape.Channels,
                                           rate, job.Tags, error)
                 : SoundWriter::Open(spool ? spool->Descriptor() : output->Descriptor(),
                                     *choice.Format, job.Shape.Channels, rate, job.Lossy,
                                     job.Tags, error);
    if (!writer) {
        return Failure("cannot write " + DescribeFormat(*choice.Format) + " to " +
                       Named(job.OutputPath) + ": " + error);
    }

    // Decoding, processing and encoding overlap: the source is read ahead and the output written
    // behind on threads of their own. Both are declared after what they use, so they stop first.
    const std::uint32_t blockFrames = BlockFramesFor(job.Shape.Channels);
    FileSink fileSink(*writer, job.Shape.Channels, blockFrames);
    NamedSink namedSink(fileSink, job.OutputPath);
    WriteBehindSink sink(namedSink, job.Shape.Channels, blockFrames);
    std::optional<ReadAheadSource> readAhead;
    if (job.ReadAhead) readAhead.emplace(*job.Source, job.Shape.Channels, blockFrames);
    AudioSource& source = readAhead ? static_cast<AudioSource&>(*readAhead) : *job.Source;

    ProgressBar progress(job.Progress ? std::nullopt : job.TotalFrames);
    StreamResult result = RunStream(
        *job.Module, parameters, job.Shape, source, sink,
        [&](std::int64_t done) {
            if (job.Progress) job.Progress(done);
            progress.Update(done);
        },
        &InterruptRequested);
    if (result.Outcome == StreamOutcome::Finished && !sink.Finish(error)) {
        result = StreamResult{StreamOutcome::Failed, error};
    }
    progress.Finish(result.Outcome == StreamOutcome::Finished);

    const RenderResult interrupted{kInterruptedExitStatus, {}, {}, {}};
    // A reader that goes away from a stream raises SIGPIPE, and the write then fails.
    if (result.Outcome == StreamOutcome::Interrupted || InterruptRequested()) return interrupted;
    if (result.Outcome == StreamOutcome::Failed) return Failure(result.Error);
    if (!writer->Close(error)) {
        return Failure("cannot finish " + Named(job.OutputPath) + ": " + error);
    }
    if (InterruptRequested()) return interrupted;
    const bool placed = streamed || (spool ? spool->CopyTo(STDOUT_FILENO, error)
                                           : output->Commit(error));
    // A reader that went away mid-copy raises SIGPIPE, which counts as an interruption.
    if (InterruptRequested()) return interrupted;
    if (!placed) return Failure(error);
    if (!job.LossyOption.empty() && !IsLossyFormat(*choice.Format)) {
        done.Warnings.push_back(Named(job.OutputPath) + " is " + DescribeFormat(*choice.Format) +
                                ", which is lossless: " + job.LossyOption + " does not apply");
    }
    if (job.ClipWarning && writer->ClippedSamples() > 0) {
        done.Warnings.push_back(ClippingWarning(job.OutputPath, writer->ClippedSamples(),
                                                writer->Peak(), parameters.Level));
    } else if (job.ClipWarning && writer->Peak() > 1.0) {
        done.Warnings.push_back(PeakWarning(job.OutputPath, writer->Peak(), parameters.Level));
    }
    return done;
}

int Render(const RenderJob& job) {
    const RenderResult result = RenderOutput(job);
    for (const std::string& note : result.Notes) ReportNote(note);
    for (const std::string& warning : result.Warnings) ReportWarning(warning);
    if (!result.Error.empty()) ReportFailure(result.Error);
    return result.Status;
}

}  // namespace flanger::tool
