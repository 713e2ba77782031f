// Rendering a source through the module into OUT.
#include "render_job.h"

#include "command_support.h"
#include "commands.h"
#include "file_stream.h"
#include "interrupt.h"
#include "output_file.h"
#include "progress_bar.h"

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

}  // namespace

int Render(const RenderJob& job) {
    const FormatChoice choice =
        ChooseOutputFormat(job.SourceFormat, job.Format, job.SampleEncoding, job.Shape.Channels,
                           static_cast<int>(job.Shape.SampleRate));
    if (!choice.Format) return ReportFailure(choice.Error);
    if (const std::string refusal = CheckExtension(job.OutputPath, *choice.Format);
        !refusal.empty()) {
        return ReportFailure(refusal);
    }
    std::string error;
    const std::optional<std::string> target = ResolveOutputTarget(job.OutputPath, error);
    if (!target) return ReportFailure(error);
    // SameFile follows links, so this also catches OUT linking to IN.
    if (!job.InputPath.empty() && SameFile(job.InputPath, job.OutputPath)) {
        return ReportFailure("'" + job.OutputPath + "' is the input file; choose another OUT");
    }

    InstallInterruptHandlers();
    const std::unique_ptr<PendingOutput> output = PendingOutput::Create(*target, error);
    if (!output) return ReportFailure(error);
    SetInterruptCleanupPath(output->TemporaryPath().c_str());
    // Declared after `output` so that it lets go of the descriptor before the file is removed.
    const std::unique_ptr<SoundWriter> writer =
        SoundWriter::Open(output->Descriptor(), *choice.Format, job.Shape.Channels,
                          static_cast<int>(job.Shape.SampleRate), error);
    if (!writer) {
        return ReportFailure("cannot write " + DescribeFormat(*choice.Format) + " to '" +
                             job.OutputPath + "': " + error);
    }

    FileSink sink(*writer, job.Shape.Channels, BlockFramesFor(job.Shape.Channels));
    ProgressBar progress(job.TotalFrames);
    const StreamResult result = RunStream(
        *job.Module, job.Parameters, job.Shape, *job.Source, sink,
        [&progress](std::int64_t done) { progress.Update(done); }, &InterruptRequested);
    progress.Finish(result.Outcome == StreamOutcome::Finished);

    if (result.Outcome == StreamOutcome::Interrupted) return kInterruptedExitStatus;
    if (result.Outcome == StreamOutcome::Failed) return ReportFailure(result.Error);
    if (!writer->Close(error)) {
        return ReportFailure("cannot finish '" + job.OutputPath + "': " + error);
    }
    if (InterruptRequested()) return kInterruptedExitStatus;
    if (!output->Commit(error)) return ReportFailure(error);
    SetInterruptCleanupPath(nullptr);
    return 0;
}

}  // namespace flanger::tool
