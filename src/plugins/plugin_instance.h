// PluginInstance: one instance of the mono or stereo plug-in as an LV2 or LADSPA host runs it,
// over the engine's live mode.
//
// The host connects the ports (plugin_ports.h), activates the instance and then calls Run once
// per block; the front ends pass their calls straight through. Run reads the controls, copies
// each input to its output unless the host gave the same buffer for both, and lets LiveFlanger
// process the outputs in place. Run and ConnectPort allocate nothing, take no lock and make no
// system call; any block size works, 0 included, and block sizes may vary from call to call.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/live_flanger.h"
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

    // The next Run starts afresh: silent delay lines, the sweep at its start.
    void Activate() { Engine.Reset(); }

    void Run(std::uint32_t frames);

private:
    // Frames staged at a time when an output shares its buffer with another channel's input.
    static constexpr std::uint32_t kStagingFrames = 256;

    explicit PluginInstance(std::uint32_t channels);
    // Whether copying each input to its output in turn would overwrite an input not yet copied.
    bool OutputsOverlapOtherInputs() const;
    // Copies `frames` frames of every input (`inputs[j]` points at the first of them) to its
    // output from `offset` on, and runs the engine over them.
    void CopyAndProcess(const float* const* inputs, std::uint32_t offset, std::uint32_t frames,
                        const LiveSettings& settings);
    // The settings of the controls, quantised again only when a control has moved.
    const LiveSettings& CurrentSettings();

    std::uint32_t Channels;
    const float* Controls[kControlCount] = {};
    std::uint32_t LastControlBits[kControlCount] = {};  // the values last quantised, as bits
    bool ControlsRead = false;
    LiveSettings Settings;
    std::vector<const float*> Inputs;
    std::vector<float*> Outputs;
    std::vector<float*> Block;  // the outputs at the current offset
    std::vector<float> Staging;
    std::vector<const float*> Staged;  // each channel's staged input
    LiveFlanger Engine;
};

}  // namespace flanger::plugins
