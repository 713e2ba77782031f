// Rendering a source through the module into OUT.
#include "processing/render_job.h"

#include "audio/file_stream.h"
#include "audio/output_file.h"
#include "audio/pipelined_io.h"
#include "command_line/command_support.h"
#include "command_line/commands.h"
#include "processing/interrupt.h"
#include "processing/progress_bar.h"

namespace flanger::tool {
namespace {

std::string UpperName(Container container) {
    std::string name(ContainerName(container));
    for (char& c : name) c = static_cast<char>(c - 'a' + 'A');
    return name;
}

// Refuses an OUT whose extension promises another container than the bytes it would hold.
std::string CheckExtension(const std::string& path, SoundFormat format) {
    const std::optional<Container> announced = ContainerForFileName(path);
    if (!announced || ContainerOf(format) == announced) return {};
    return "'" + path + "' names a " + UpperName(*announced) + " file but the output would be " +
           DescribeFormat(format) + "; add --format " + std::string(ContainerName(*announced)) +
           " or choose a name that fits";
}

RenderResult Failure(std::string error) { return RenderResult{kExitFailure, std::move(error)}; }

// The output's sink, whose failures name the file (libsndfile's reasons name none).
class NamedSink final : public AudioSink {
public:
    NamedSink(AudioSink& sink, const std::string& path) : Sink(sink), Path(path) {}
    bool Write(std::span<const float* const> channels, std::uint32_t frames,
               std::string& error) override {
        if (Sink.Write(channels, frames, error)) return true;
        error = "cannot write '" + Path + "': " + error;
        return false;
    }

private:
    AudioSink& Sink;
    const std::string& Path;
};

}  // namespace

RenderResult RenderOutput(const RenderJob& job) {
    const FormatChoice choice =
        ChooseOutputFormat(job.SourceFormat, job.Format, job.SampleEncoding, job.Shape.Channels,
                           static_cast<int>(job.Shape.SampleRate));
    if (!choice.Format) return Failure(choice.Error);
    if (std::string refusal = CheckExtension(job.OutputPath, *choice.Format); !refusal.empty()) {
        return Failure(std::move(refusal));
    }
    std::string error;
    const std::optional<std::string> target = ResolveOutputTarget(job.OutputPath, error);
    if (!target) return Failure(error);
    // SameFile follows links, so this also catches OUT linking to IN.
    if (!job.InputPath.empty() && SameFile(job.InputPath, job.OutputPath)) {
        return Failure("'" + job.OutputPath + "' is the input file; choose another OUT");
    }

    InstallInterruptHandlers();
    // Disarmed on every way out, after `output` has removed its file: a slot left armed would
    // remove a name that a later job in the same slot may be given again.
    struct CleanupRegistration {
        int Slot;
        ~CleanupRegistration() { SetInterruptCleanupPath(Slot, nullptr); }
    } const registration{job.CleanupSlot};
    const std::unique_ptr<PendingOutput> output = PendingOutput::Create(*target, error);
    if (!output) return Failure(error);
    SetInterruptCleanupPath(job.CleanupSlot, output->TemporaryPath().c_str());
    // Declared after `output` so that it lets go of the descriptor before the file is removed.
    const std::unique_ptr<SoundWriter> writer =
        SoundWriter::Open(output->Descriptor(), *choice.Format, job.Shape.Channels,
                          static_cast<int>(job.Shape.SampleRate), error);
    if (!writer) {
        return Failure("cannot write " + DescribeFormat(*choice.Format) + " to '" + job.OutputPath +
                       "': " + error);
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
        *job.Module, job.Parameters, job.Shape, source, sink,
        [&](std::int64_t done) {
            if (job.Progress) job.Progress(done);
            progress.Update(done);
        },
        &InterruptRequested);
    if (result.Outcome == StreamOutcome::Finished && !sink.Finish(error)) {
        result = StreamResult{StreamOutcome::Failed, error};
    }
    progress.Finish(result.Outcome == StreamOutcome::Finished);

    if (result.Outcome == StreamOutcome::Interrupted)
        return RenderResult{kInterruptedExitStatus, {}};
    if (result.Outcome == StreamOutcome::Failed) return Failure(result.Error);
    if (!writer->Close(error)) return Failure("cannot finish '" + job.OutputPath + "': " + error);
    if (InterruptRequested()) return RenderResult{kInterruptedExitStatus, {}};
    if (!output->Commit(error)) return Failure(error);
    return RenderResult{};
}

int Render(const RenderJob& job) {
    const RenderResult result = RenderOutput(job);
    if (!result.Error.empty()) ReportFailure(result.Error);
    return result.Status;
}

}  // namespace flanger::tool
