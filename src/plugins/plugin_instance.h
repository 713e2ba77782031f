// PluginInstance: one instance of the mono or stereo plug-in as an LV2 or LADSPA host runs it,
// over the engine's live mode.
//
// The host connects the ports (plugin_ports.h), activates the instance and then calls Run once
// per block; the front ends pass their calls straight through. Run reads the controls, copies
// each input to its output unless the host gave the same buffer for both, and lets LiveFlanger
// process the outputs in place; while the bypass port is off or has just moved, the outputs are
// then crossfaded with the staged inputs. Run and ConnectPort allocate nothing, take no lock and
// make no system call; any block size works, 0 included, and block sizes may vary from call to
// call.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/live_flanger.h"
#include "engine/output_level.h"
#include "plugins/plugin_ports.h"

namespace flanger::plugins {

class PluginInstance {
public:
    // An instance for `channels` channels at `sampleRate` frames per second (rounded to a whole
    // number); null when the engine cannot run that rate or memory is short.
    static std::unique_ptr<PluginInstance> Create(double sampleRate, std::uint32_t channels);

    // Port indices as plugin_ports.h lays them out; others are ignored. The buffer stays the
    // host's.
    void ConnectPort(std::uint32_t port, float* data);
    // Channel j's input and output buffers, as ConnectPort connects them, for front ends that
    // connect them anew for every block.
    void ConnectChannel(std::uint32_t j, const float* input, float* output) {
        AudioConnected = AudioConnected || Inputs[j] != input || Outputs[j] != output;
        Inputs[j] = input;
        Outputs[j] = output;
    }

    // The next Run starts afresh: silent delay lines, the sweep at its start.
    // The bypass port's value then applies at once, without a crossfade.
    void Activate() {
        Engine.Reset();
        BypassRead = false;
        PlainBlocks = false;
    }

    void Run(std::uint32_t frames);
    // Connects every channel (`inputs[j]`, `outputs[j]`) and runs, for a caller that owns the
    // control ports' values and changed none since the last Run: a host's steady block skips
    // comparing them.
    void RunWithSameControls(const float* const* inputs, float* const* outputs,
                             std::uint32_t frames);

private:
    // Frames staged at a time when an output shares its buffer with another channel's input.
    static constexpr std::uint32_t kStagingFrames = 256;

    explicit PluginInstance(std::uint32_t channels);
    // Whether copying each input to its output in turn would overwrite an input not yet copied.
    bool OutputsOverlapOtherInputs() const;
    // The same, worked out again only after the audio buffers were connected.
    bool OutputsOverlapOtherInputsSinceConnected();
    // Copies `frames` frames of every input (`inputs[j]` points at the first of them) to its
    // output from `offset` on, and runs the engine over them.
    // `controlsMoved`: whether the controls moved since the engine last saw them.
    void CopyAndProcess(const float* const* inputs, std::uint32_t offset, std::uint32_t frames,
                        bool controlsMoved);
    // Mixes the dry input staged for the current slice into the outputs (Block) by the
    // bypass's weights: 0 the input alone, 1 the effect alone.
    void BlendWithDry(std::uint32_t frames);
    // Reads the controls; when one has moved (or on the first call), quantises them again into
    // Settings and EnabledWeight and returns true.
    bool ReadControls();
    // Whether every channel has both buffers, and apart: then a block copies each input whole.
    bool EveryChannelCopies() const;
    // Whether a control differs from the values last quantised.
    bool ControlsChanged() const;
    // A block with the controls, bypass and buffers of the last (PlainBlocks).
    void RunPlainBlock(std::uint32_t frames) {
        for (std::uint32_t j = 0; j < Channels; ++j) {
            std::memcpy(Outputs[j], Inputs[j], std::size_t{frames} * sizeof(float));
        }
        Engine.ProcessWithSameSettings(Outputs.data(), Channels, frames);
    }
    // Run for any block: controls that moved, a bypass, a glide, buffers connected anew.
    [[gnu::noinline]] void RunAnyBlock(std::uint32_t frames);

    std::uint32_t Channels;
    // A control the host left unconnected reads this NaN, which counts as the default.
    static const float kUnconnectedControl;
    const float* Controls[kControlCount];
    std::uint32_t LastControlBits[kControlCount] = {};  // the values last quantised, as bits
    bool ControlsRead = false;
    LiveSettings Settings;
    double EnabledWeight = 1.0;  // the bypass's target: 1 enabled, 0 bypassed
    std::vector<const float*> Inputs;
    std::vector<float*> Outputs;
    std::vector<float*> Block;  // the outputs at the current offset
    std::vector<float> Staging;
    std::vector<const float*> Staged;  // each channel's staged input
    LiveFlanger Engine;
    GainGlide Bypass;  // the effect's weight in the output: 1 enabled, 0 bypassed
    bool BypassRead = false;
    bool AudioConnected = true;
    // The last block ran the effect alone (enabled, no glide) straight from the inputs into the
    // outputs, every channel with both buffers apart, and nothing it depended on has changed
    // since but maybe the controls.
    bool PlainBlocks = false;
    bool OutputsOverlap = false;
};

}  // namespace flanger::plugins
