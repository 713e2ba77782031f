// PluginInstance: ports, and one block through the live engine.
#include "plugins/plugin_instance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace flanger::plugins {

std::unique_ptr<PluginInstance> PluginInstance::Create(double sampleRate, std::uint32_t channels) {
    // The comparisons also refuse a NaN rate.
    if (!(sampleRate >= 1.0 && sampleRate <= std::numeric_limits<std::int32_t>::max())) {
        return nullptr;
    }
    std::unique_ptr<PluginInstance> instance(new PluginInstance(channels));
    const auto rate = static_cast<std::uint32_t>(std::lround(sampleRate));
    if (!instance->Engine.Activate(rate, channels)) return nullptr;
    instance->Bypass.SetGlideFrames(static_cast<std::uint32_t>(
        std::lround(static_cast<double>(rate) * LiveFlanger::kTransitionMs * 0.001)));
    return instance;
}

const float PluginInstance::kUnconnectedControl = std::numeric_limits<float>::quiet_NaN();

PluginInstance::PluginInstance(std::uint32_t channels)
    : Channels(channels),
      Inputs(channels, nullptr),
      Outputs(channels, nullptr),
      Block(channels, nullptr),
      Staging(std::size_t{channels} * kStagingFrames),
      Staged(channels, nullptr) {
    std::fill(std::begin(Controls), std::end(Controls), &kUnconnectedControl);
}

void PluginInstance::ConnectPort(std::uint32_t port, float* data) {
    if (port >= kLeadingControls && port < kLeadingControls + Channels) {
        Inputs[port - kLeadingControls] = data;
        AudioConnected = true;
    } else if (port >= kLeadingControls + Channels && port < kLeadingControls + 2 * Channels) {
        Outputs[port - kLeadingControls - Channels] = data;
        AudioConnected = true;
    } else if (const std::uint32_t control = ControlAtPort(Channels, port);
               control < kControlCount) {
        Controls[control] = data != nullptr ? data : &kUnconnectedControl;
    }
}

bool PluginInstance::OutputsOverlapOtherInputs() const {
    for (std::uint32_t j = 0; j < Channels; ++j) {
        for (std::uint32_t k = 0; k < Channels; ++k) {
            if (j != k && Outputs[j] != nullptr && Outputs[j] == Inputs[k]) return true;
        }
    }
    return false;
}

bool PluginInstance::EveryChannelCopies() const {
    for (std::uint32_t j = 0; j < Channels; ++j) {
        if (Inputs[j] == nullptr || Outputs[j] == nullptr || Inputs[j] == Outputs[j]) return false;
    }
    return true;
}

bool PluginInstance::OutputsOverlapOtherInputsSinceConnected() {
    if (AudioConnected) {
        OutputsOverlap = OutputsOverlapOtherInputs();
        AudioConnected = false;
    }
    return OutputsOverlap;
}

void PluginInstance::CopyAndProcess(const float* const* inputs, std::uint32_t offset,
                                    std::uint32_t frames, bool controlsMoved) {
    for (std::uint32_t j = 0; j < Channels; ++j) {
        float* out = Outputs[j] == nullptr ? nullptr : Outputs[j] + offset;
        const float* in = inputs[j];
        if (out != nullptr && in == nullptr) {
            std::fill_n(out, frames, 0.0f);  // an input left unconnected is silence
        } else if (out != nullptr && out != in) {
            std::memcpy(out, in, std::size_t{frames} * sizeof(float));
        }
        Block[j] = out;
    }
    if (controlsMoved) {
        Engine.Process(Block.data(), Channels, frames, Settings);
    } else {
        Engine.ProcessWithSameSettings(Block.data(), Channels, frames);
    }
}

namespace {

std::uint32_t BitsOf(const float* value) {
    std::uint32_t bits;
    std::memcpy(&bits, value, sizeof(float));
    return bits;
}

// Which bits of the controls differ from `last`, in one unrolled pass of loads and XORs.
template <std::size_t... kIndex>
std::uint32_t ChangedControlBits(const float* const* controls, const std::uint32_t* last,
                                 std::index_sequence<kIndex...>) {
    return ((BitsOf(controls[kIndex]) ^ last[kIndex]) | ...);
}

}  // namespace

bool PluginInstance::ControlsChanged() const {
    // Comparing bits rather than floats: a NaN that stays is no change either. A missing
    // control reads as a NaN, which counts as the default as well. Called for every block,
    // so the pass has no loop, no call and no store.
    return ChangedControlBits(Controls, LastControlBits,
                              std::make_index_sequence<kControlCount>{}) != 0;
}

bool PluginInstance::ReadControls() {
    if (!ControlsChanged() && ControlsRead) return false;
    for (std::uint32_t i = 0; i < kControlCount; ++i) LastControlBits[i] = BitsOf(Controls[i]);
    Settings = SettingsFromControls(Controls);
    EnabledWeight = Enabled(Controls[kEnabledControl]) ? 1.0 : 0.0;
    ControlsRead = true;
    return true;
}

void PluginInstance::BlendWithDry(std::uint32_t frames) {
    double weights[kStagingFrames];
    Bypass.Next(frames, weights);
    for (std::uint32_t j = 0; j < Channels; ++j) {
        if (Block[j] == nullptr) continue;
        float* out = Block[j];
        const float* dry = Staged[j];
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double input = dry == nullptr ? 0.0 : dry[i];
            out[i] = weights[i] == 0.0 ? static_cast<float>(input)
                                       : static_cast<float>(input + (out[i] - input) * weights[i]);
        }
    }
}

void PluginInstance::Run(std::uint32_t frames) {
    if (PlainBlocks && !AudioConnected && !ControlsChanged()) {
        RunPlainBlock(frames);
        return;
    }
    RunAnyBlock(frames);
}

void PluginInstance::RunWithSameControls(const float* const* inputs, float* const* outputs,
                                         std::uint32_t frames) {
    for (std::uint32_t j = 0; j < Channels; ++j) ConnectChannel(j, inputs[j], outputs[j]);
    if (PlainBlocks && !AudioConnected) {
        RunPlainBlock(frames);
        return;
    }
    RunAnyBlock(frames);
}

void PluginInstance::RunAnyBlock(std::uint32_t frames) {
    const bool controlsMoved = ReadControls();
    if (!BypassRead) {
        Bypass.Jump(EnabledWeight);
        BypassRead = true;
    }
    // The bypass's target moves only with its control.
    if (controlsMoved) Bypass.MoveTo(EnabledWeight);
    // Bypassed, the effect runs on (so that turning it back on finds its lines full) and the
    // output is the input, crossfaded to and from over the same time as a change of settings.
    const bool blending = Bypass.Gliding() || Bypass.Target() != 1.0;
    if (!blending && !OutputsOverlapOtherInputsSinceConnected()) {
        CopyAndProcess(Inputs.data(), 0, frames, controlsMoved);
        // Until a control or a buffer changes, the next blocks go the same way.
        PlainBlocks = EveryChannelCopies();
        return;
    }
    PlainBlocks = false;
    // Every input of a slice is staged before any output is written.
    std::uint32_t offset = 0;
    do {
        const std::uint32_t slice = std::min(frames - offset, kStagingFrames);
        for (std::uint32_t j = 0; j < Channels; ++j) {
            Staged[j] = nullptr;
            if (Inputs[j] == nullptr) continue;
            float* staged = &Staging[std::size_t{j} * kStagingFrames];
            std::memcpy(staged, Inputs[j] + offset, std::size_t{slice} * sizeof(float));
            Staged[j] = staged;
        }
        // Only the first slice can carry a change of the controls.
        CopyAndProcess(Staged.data(), offset, slice, controlsMoved && offset == 0);
        if (blending) BlendWithDry(slice);
        offset += slice;
    } while (offset < frames);
}

}  // namespace flanger::plugins
