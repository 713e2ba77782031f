// The part of "process" and "demo" after the source is ready: choose the output format, check
// OUT, stream the source through the module into a temporary file, and put it in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "command_line.h"
#include "plugin_library.h"
#include "sound_file.h"
#include "stream_host.h"

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
    std::string InputPath;  // a file OUT must not be; empty for none
    std::string OutputPath;
};

// Runs the job; the exit status as for the commands.
int Render(const RenderJob& job);

}  // namespace flanger::tool
