// One sound file through the module into another: all of "process IN OUT" after the module and
// the effect values are ready, and what each worker of a many-file run does with each file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "audio/audio_format.h"
#include "command_line/effect_values.h"
#include "module/plugin_library.h"
#include "processing/render_job.h"

namespace flanger::tool {

struct FileProcessing {
    const PluginExports* Module = nullptr;
    EffectParameters Parameters;
    std::optional<Container> Format;             // --format
    std::optional<Encoding> SampleEncoding;      // --encoding
    std::optional<double> Quality;               // --quality; nullopt: the input's bitrate class
    std::optional<int> BitrateKbps;              // --bitrate
    std::string InputPath;                       // "-": standard input
    RawShape RawInput;                           // --rate, --channels, --input-encoding
    std::string OutputPath;                      // "-": standard output
    bool ClipWarning = true;                     // as RenderJob::ClipWarning
    bool AutoLevel = false;                      // as RenderJob::AutoLevel; not for a pipe
    std::function<void(std::int64_t)> Progress;  // as RenderJob::Progress
    int CleanupSlot = 0;                         // as RenderJob::CleanupSlot
};

// Checks the input, reads it and writes the output through a temporary file; reports nothing,
// but returns a warning when the input ended before its header's length or its data chunk was
// cut short (a truncated or damaged file, whose output holds what could be read).
// May run on several threads at once for different files.
RenderResult ProcessFile(const FileProcessing& file);

}  // namespace flanger::tool
