// The part of "process" and "demo" after the source is ready: choose the output format, check
// OUT, stream the source through the module into a temporary file, and put it in place.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/sound_file.h"
#include "command_line/command_line.h"
#include "module/plugin_library.h"
#include "processing/stream_host.h"

namespace flanger::tool {

struct RenderJob {
    const PluginExports* Module = nullptr;
    EffectParameters Parameters;
    AudioSource* Source = nullptr;
    StreamShape Shape;
    std::optional<std::int64_t> TotalFrames;  // for the progress bar; nullopt when unknown
    SoundFormat SourceFormat;                 // the format the output keeps unless told otherwise
    std::optional<Container> Format;
    std::optional<Encoding> SampleEncoding;
    LossySettings Lossy;     // for a lossy output
    SoundTags Tags;          // copied into the output
    std::string InputPath;   // a file OUT must not be; empty for none, "-" for standard input
    std::string OutputPath;  // "-": standard output
    // "--quality" or "--bitrate" when given, so that a lossless output can say it ignores it.
    std::string LossyOption;
    // Whether an output beyond full scale gets a warning (not with --no-clip-warning): samples
    // clipped by an integer encoding, or a float or lossy output that will clip when played.
    bool ClipWarning = true;
    // --gain auto: a first pass over a second reading of the source finds the output's peak at
    // 0 dB, and the output is written at the level that keeps it below full scale.
    bool AutoLevel = false;
    // A new reading of the source from its start; empty where there can be none (a pipe).
    std::function<std::unique_ptr<AudioSource>(std::string& error)> ReadAgain;
    // Told the frames done so far after every block, on the rendering thread. Empty: the job
    // draws a progress bar of its own.
    std::function<void(std::int64_t)> Progress;
    // The interrupt clean-up slot of the temporary file: one per job running at the same time.
    int CleanupSlot = 0;
    // Whether the source may be read ahead on a thread of its own: only a source that never
    // waits indefinitely (a file, not a pipe), since a thread stuck in a read cannot be stopped.
    bool ReadAhead = false;
};

struct RenderResult {
    int Status = 0;     // the exit status as for the commands
    std::string Error;  // why it failed, without "flanger: "; empty unless Status is kExitFailure
    std::vector<std::string> Warnings;  // each without "flanger: warning: "
    std::vector<std::string> Notes;     // each without "flanger: note: "
};

// "'out.wav'", or "standard output" for "-": a file as messages name it.
std::string Named(const std::string& path);

// Runs the job and reports nothing, so that it can run beside others.
RenderResult RenderOutput(const RenderJob& job);

// Runs the job and reports its warnings and failure; the exit status as for the commands.
int Render(const RenderJob& job);

}  // namespace flanger::tool
