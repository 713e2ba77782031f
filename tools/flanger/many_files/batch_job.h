// "flanger process" on many files: several INs, or every audio file in a folder IN, each into a
// file of its own name in the folder OUT. All files are checked against each other before
// anything is written; then worker threads, as many as there are cores (and files), take the
// files one by one, each through a stream of its own in the one loaded module, each output
// written through its own temporary file exactly as the single-file command writes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "audio/audio_format.h"
#include "command_line/command_line.h"
#include "command_line/effect_values.h"
#include "module/plugin_library.h"

namespace flanger::tool {

// Whether "process" works on many files: more than one IN, an IN that is a folder, or one IN
// and an OUT that is an existing folder (links followed).
bool IsBatchProcess(const Invocation& invocation);

// Runs "process" on many files with the effect values chosen once for all; the exit status as
// for the commands: 1 when any file failed, 130 when interrupted. OUT must be an existing
// folder or end in '/' (a folder to create); anything else is refused before any file is read.
int RunBatchProcess(const Invocation& invocation, const PluginExports& module,
                    const EffectParameters& parameters);

// The name of IN's output in the output folder: IN's own file name, with the extension of
// `format`'s container (.wav .flac .aiff .ogg) in place of its own when `format` names another
// container than the name announces.
std::string OutputFileName(std::string_view inputPath, std::optional<Container> format);

}  // namespace flanger::tool
