// Driving one stream through the module exactly as an audio editor does: a fresh record from
// Initialize, the six parameters written into it, the call-back registered, OpenStream, one
// ProcessStream per block until the call-back reports the end, CloseStream and Free.
//
// The call-back is the stream's source: it fills the buffer's channel arrays and reports the
// frames it delivered, 0 at the end. Blocks are at most kBlockFrames long, so memory does not
// grow with the length of the audio.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "audio/audio_stream.h"
#include "command_line/command_line.h"
#include "module/plugin_library.h"

namespace flanger::tool {

// Frames per block; fewer for very many channels, keeping a block within kBlockSampleBudget.
inline constexpr std::uint32_t kBlockFrames = 4096;
inline constexpr std::uint32_t kBlockSampleBudget = 1u << 20;

std::uint32_t BlockFramesFor(std::uint32_t channels);

struct StreamShape {
    std::uint16_t Channels = 0;
    std::uint32_t SampleRate = 0;
};

enum class StreamOutcome { Finished, Failed, Interrupted };

struct StreamResult {
    StreamOutcome Outcome = StreamOutcome::Finished;
    std::string Error;  // set when Failed
};

// Runs the whole stream through the module, or, when a control the record does not hold is away
// from its default (NeedsLiveEngine), through the engine's live mode linked into the command
// with the same values (the module's exports are fixed and cannot take those controls). `progress`
// (may be empty) is told the frames done after every block; `stopRequested` is polled before every
// block and once more at the end.
StreamResult RunStream(const PluginExports& module, const EffectParameters& parameters,
                       StreamShape shape, AudioSource& source, AudioSink& sink,
                       const std::function<void(std::int64_t)>& progress,
                       const std::function<bool()>& stopRequested);

}  // namespace flanger::tool
