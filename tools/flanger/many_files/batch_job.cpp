// Planning a many-file run (the list of files, their output names, the refusals) and running it
// on worker threads.
#include "many_files/batch_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "audio/output_file.h"
#include "audio/sound_file.h"
#include "command_line/exit_status.h"
#include "command_line/reporting.h"
#include "many_files/batch_progress.h"
#include "processing/file_processing.h"
#include "processing/interrupt.h"

namespace flanger::tool {
namespace {

struct BatchFile {
    std::string Input;
    std::string Output;
    std::int64_t Frames = 0;  // the length for the progress line; 0 when unknown
};

using FileIdentity = std::pair<dev_t, ino_t>;

std::optional<struct stat> StatusOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
    return status;
}

bool IsDirectory(const std::string& path) {
    const std::optional<struct stat> status = StatusOf(path);
    return status && S_ISDIR(status->st_mode);
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string InFolder(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The length of a regular file that opens as audio; 0 for anything else. A pipe is not opened
// here: what this read of it consumed would be missing from the output.
std::int64_t KnownLength(const std::string& path) {
    const std::optional<struct stat> status = StatusOf(path);
    if (!status || !S_ISREG(status->st_mode)) return 0;
    std::string error;
    const std::unique_ptr<SoundReader> reader = SoundReader::Open(path, error);
    return reader ? reader->FrameCount().value_or(0) : 0;
}

// Every regular file directly in `folder` that opens as audio, in name order; each other entry
// gets a note. Nullopt with the refusal in `refusal` for a folder without one.
std::optional<std::vector<BatchFile>> ScanFolder(const std::string& folder, std::string& refusal) {
    std::error_code error;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    if (error) {
        refusal = "cannot read the folder " + Quoted(folder) + ": " + error.message();
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());

    std::vector<BatchFile> files;
    for (const std::string& name : names) {
        const std::string path = InFolder(folder, name);
        const std::optional<struct stat> status = StatusOf(path);
        if (!status || !S_ISREG(status->st_mode)) {
            ReportNote("skipping " + Quoted(path) + ": not a regular file");
            continue;
        }
        std::string why;
        const std::unique_ptr<SoundReader> reader = SoundReader::Open(path, why);
        if (!reader) {
            ReportNote("skipping " + Quoted(path) + ": not audio (" + why + ")");
            continue;
        }
        files.push_back(BatchFile{path, {}, reader->FrameCount().value_or(0)});
    }
    if (files.empty()) {
        refusal = "no audio file in the folder " + Quoted(folder);
        return std::nullopt;
    }
    return files;
}

// The files of the run with their output names; nullopt with the one-line refusal in `refusal`.
std::optional<std::vector<BatchFile>> PlanFiles(const Invocation& invocation,
                                                std::string& refusal) {
    const std::string& outputFolder = invocation.OutputPath;
    const std::optional<struct stat> outputStatus = StatusOf(outputFolder);
    // A new folder is asked for by a trailing '/': "process a.wav b.wav out.wav" is more likely
    // meant to join the files than to make a folder named like a sound file.
    if (!(outputStatus && S_ISDIR(outputStatus->st_mode)) && !outputFolder.ends_with('/')) {
        const bool severalInputs = invocation.InputPaths.size() > 1;
        std::string hints =
            outputStatus ? "" : "write " + Quoted(outputFolder + "/") + " to create it";
        if (severalInputs) {
            hints += (hints.empty() ? "" : "; ") + std::string("to join files, use sox");
        }
        refusal = std::string(severalInputs ? "several inputs need" : "a folder input needs") +
                  " an output folder; " + Quoted(outputFolder) + " is not one" +
                  (hints.empty() ? "" : " (" + hints + ")");
        return std::nullopt;
    }

    std::vector<BatchFile> files;
    const std::vector<std::string>& inputs = invocation.InputPaths;
    if (inputs.size() == 1 && IsDirectory(inputs.front())) {
        if (SameFile(inputs.front(), outputFolder)) {
            refusal = "the output folder " + Quoted(outputFolder) + " is the input folder " +
                      Quoted(inputs.front()) + "; choose another output folder";
            return std::nullopt;
        }
        std::optional<std::vector<BatchFile>> found = ScanFolder(inputs.front(), refusal);
        if (!found) return std::nullopt;
        files = std::move(*found);
    } else {
        for (const std::string& input : inputs) {
            if (IsDirectory(input)) {
                refusal =
                    Quoted(input) + " is a directory; a folder is processed only as the one IN";
                return std::nullopt;
            }
            files.push_back(BatchFile{input, {}, KnownLength(input)});
        }
    }

    // Two outputs of one name, or one output that is an input (however linked), would destroy
    // work; both are refused before any file is written.
    std::map<std::string, const BatchFile*> byName;
    std::map<FileIdentity, const BatchFile*> inputsByIdentity;
    for (BatchFile& file : files) {
        file.Output = InFolder(outputFolder, OutputFileName(file.Input, invocation.Format));
        const auto [named, fresh] = byName.try_emplace(file.Output, &file);
        if (!fresh) {
            refusal = Quoted(named->second->Input) + " and " + Quoted(file.Input) +
                      " would both be written to " + Quoted(file.Output);
            return std::nullopt;
        }
        if (const std::optional<struct stat> status = StatusOf(file.Input)) {
            inputsByIdentity.try_emplace(FileIdentity{status->st_dev, status->st_ino}, &file);
        }
    }
    std::map<FileIdentity, const BatchFile*> outputsByIdentity;
    for (const BatchFile& file : files) {
        const std::optional<struct stat> status = StatusOf(file.Output);
        if (!status) continue;
        const FileIdentity identity{status->st_dev, status->st_ino};
        if (const auto input = inputsByIdentity.find(identity); input != inputsByIdentity.end()) {
            refusal = Quoted(file.Output) + " is the input file " + Quoted(input->second->Input) +
                      "; choose another output folder";
            return std::nullopt;
        }
        const auto [other, fresh] = outputsByIdentity.try_emplace(identity, &file);
        if (!fresh) {
            refusal = Quoted(other->second->Input) + " and " + Quoted(file.Input) +
                      " would both be written to " + Quoted(file.Output) + " (linked to " +
                      Quoted(other->second->Output) + ")";
            return std::nullopt;
        }
    }
    return files;
}

// What the workers share.
struct BatchRun {
    const Invocation* Options = nullptr;
    const PluginExports* Module = nullptr;
    EffectParameters Parameters;
    const std::vector<BatchFile>* Files = nullptr;
    BatchProgress* Progress = nullptr;
    std::atomic<std::size_t> Next{0};
    std::atomic<std::size_t> Failed{0};
    std::atomic<bool> Interrupted{false};
};

// A message that names its file: the file's name in front unless the message has it already.
std::string AboutFile(const BatchFile& file, const std::string& message) {
    if (message.find(Quoted(file.Input)) != std::string::npos ||
        message.find(Quoted(file.Output)) != std::string::npos) {
        return message;
    }
    return Quoted(file.Input) + ": " + message;
}

RenderResult ProcessOne(BatchRun& run, const BatchFile& file, int slot) {
    std::int64_t counted = 0;
    FileProcessing processing;
    processing.Module = run.Module;
    processing.Parameters = run.Parameters;
    processing.Format = run.Options->Format;
    processing.SampleEncoding = run.Options->SampleEncoding;
    processing.RawInput = run.Options->RawInput;
    processing.Quality = run.Options->Quality;
    processing.BitrateKbps = run.Options->BitrateKbps;
    processing.InputPath = file.Input;
    processing.OutputPath = file.Output;
    processing.ClipWarning = run.Options->ClipWarning;
    processing.AutoLevel = run.Options->AutoLevel;
    processing.CleanupSlot = slot;
    // Always set, so that no file draws a bar of its own. Only files whose length is in the
    // total add to the frames done, so the line never runs past 100 %.
    processing.Progress = [&run, &counted, &file](std::int64_t done) {
        if (file.Frames == 0) return;
        run.Progress->AddFrames(done - counted);
        counted = done;
    };
    RenderResult result;
    try {
        result = ProcessFile(processing);
    } catch (const std::exception& exception) {
        // Out of memory, say: it fails this file, where escaping the thread would end them all.
        result = RenderResult{kExitFailure, exception.what(), {}, {}};
    }
    // A file that ended early still counts in full, so that the line reaches its end.
    if (file.Frames > counted) run.Progress->AddFrames(file.Frames - counted);
    run.Progress->FileDone();
    return result;
}

void Work(BatchRun& run, int slot) {
    const std::vector<BatchFile>& files = *run.Files;
    while (!InterruptRequested()) {
        const std::size_t index = run.Next.fetch_add(1);
        if (index >= files.size()) return;
        const RenderResult result = ProcessOne(run, files[index], slot);
        if (result.Status == kInterruptedExitStatus) {
            run.Interrupted = true;
            return;
        }
        for (const std::string& note :
             WarningsWanted() ? result.Notes : std::vector<std::string>{}) {
            run.Progress->Report("note: " + AboutFile(files[index], note));
        }
        for (const std::string& warning :
             WarningsWanted() ? result.Warnings : std::vector<std::string>{}) {
            run.Progress->Report("warning: " + AboutFile(files[index], warning));
        }
        if (result.Status != 0) {
            run.Failed.fetch_add(1);
            run.Progress->Report(AboutFile(files[index], result.Error));
        }
    }
}

}  // namespace

std::string OutputFileName(std::string_view inputPath, std::optional<Container> format) {
    std::string name = BaseName(inputPath);
    if (!format || ContainerForFileName(name) == format) return name;
    const std::size_t dot = name.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    if (dot != std::string::npos && dot != 0) name.erase(dot);
    return name + "." + std::string(ContainerName(*format));
}

bool IsBatchProcess(const Invocation& invocation) {
    return invocation.InputPaths.size() > 1 ||
           (invocation.InputPaths.size() == 1 &&
            (IsDirectory(invocation.InputPaths.front()) || IsDirectory(invocation.OutputPath)));
}

int RunBatchProcess(const Invocation& invocation, const PluginExports& module,
                    const EffectParameters& parameters) {
    std::string refusal;
    const std::optional<std::vector<BatchFile>> planned = PlanFiles(invocation, refusal);
    if (!planned) return ReportFailure(refusal);
    const std::vector<BatchFile>& files = *planned;
    // EEXIST is also a dangling link, which the folder check does not see through.
    if (mkdir(invocation.OutputPath.c_str(), 0777) != 0) {
        const int error = errno;
        if (error != EEXIST || !IsDirectory(invocation.OutputPath)) {
            return ReportFailure("cannot create the folder " + Quoted(invocation.OutputPath) +
                                 ": " + std::strerror(error));
        }
    }

    std::int64_t totalFrames = 0;
    for (const BatchFile& file : files) totalFrames += file.Frames;
    BatchProgress progress(totalFrames, files.size());
    BatchRun run;
    run.Options = &invocation;
    run.Module = &module;
    run.Parameters = parameters;
    run.Files = &files;
    run.Progress = &progress;

    // Installed before the workers start, so that no signal finds the default action.
    InstallInterruptHandlers();
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers =
        std::min({cores, files.size(), static_cast<std::size_t>(kInterruptCleanupSlots)});
    std::vector<std::thread> threads;
    for (std::size_t slot = 0; slot < workers; ++slot) {
        try {
            threads.emplace_back(Work, std::ref(run), static_cast<int>(slot));
        } catch (const std::system_error&) {
            break;  // the threads there are take all the files
        }
    }
    if (threads.empty()) Work(run, 0);
    for (std::thread& thread : threads) thread.join();
    progress.Finish();

    if (run.Interrupted || InterruptRequested()) return kInterruptedExitStatus;
    if (const std::size_t failed = run.Failed.load(); failed > 0) {
        return ReportFailure(std::to_string(failed) + " of " + std::to_string(files.size()) +
                             " files failed");
    }
    return 0;
}

}  // namespace flanger::tool
