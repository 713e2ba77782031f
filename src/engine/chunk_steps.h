// The per-chunk steps of a flanger state, written once for FlangerEngine and for the voices of
// the live mode (flanger_voice.h): stepping the sweep over a chunk, and running every channel
// over the chunk with the kernels. Sharing them keeps every engine's steady state the same
// arithmetic, bit for bit.
#pragma once

#include <cstdint>

#include "engine/engine_kernels.h"
#include "engine/sine_oscillator.h"

namespace flanger {

// Steps a triangle sweep `frames` frames, writing the position each frame reads into
// `positions`. `position` and `step` are the sweep's state: the position the next frame reads
// and the change per frame, whose sign flips at each turn.
inline void StepTriangleSweep(double& position, double& step, double base, std::int32_t ringLength,
                              double* positions, std::uint32_t frames) {
    // The upper bound is the ring length, not the base plus the width. The turn is due when
    // position - 1.0 > RingLength, which is exactly position > RingLength + 1.0: 1.0 comes off
    // a position of 1.0 or more without rounding, and below 1.0 neither holds.
    const double top = static_cast<double>(ringLength) + 1.0;
    const auto turnIsDue = [top, base](double p) { return p > top || p <= base; };
    // Locals, so that the sequence stays in registers while the positions are stored.
    double current = position;
    double currentStep = step;

    // Most chunks have no turn. Adding the same step again and again with rounding to nearest
    // never reverses direction, so the positions after each step are ordered: if neither the
    // first nor the last calls for a turn, none between does, and the chunk can step without
    // checking.
#pragma GCC unroll 4
    for (std::uint32_t i = 0; i < frames; ++i) {
        positions[i] = current;
        current = current + currentStep;
    }
    const double firstStepped = frames > 1 ? positions[1] : current;
    if (!turnIsDue(firstStepped) && !turnIsDue(current)) {
        position = current;
        return;
    }

    current = position;
    for (std::uint32_t i = 0; i < frames; ++i) {
        positions[i] = current;
        current = current + currentStep;
        if (turnIsDue(current)) {
            // Stepping back with the new step returns the position to the inside.
            currentStep = -currentStep;
            current = current + currentStep;
        }
    }
    step = currentStep;
    position = current;
}

// Steps a sine sweep `frames` (at least 1) frames: frame i reads the position set after frame
// i - 1, the oscillator's next value plus `base`.
inline void StepSineSweep(double& position, double base, SineOscillator& oscillator,
                          double* positions, std::uint32_t frames) {
    positions[0] = position;
    oscillator.NextValues(positions + 1, frames - 1, base);
    position = oscillator.NextValue() + base;
}

// The channels of one chunk: `samples[j] + offset` is channel j's part of the chunk, processed
// in place against the line `lines[j]`; a null channel is skipped.
struct ChunkChannels {
    float* const* Samples;
    float* const* Lines;
    std::uint32_t Count;
    std::uint32_t Offset;
};

// Runs every channel over a chunk whose positions `chunk` holds. The taps are shared by all
// channels; where a delay is too short for the vector kernels' groups, the chunk goes frame by
// frame.
inline void RunChannelsOverChunk(const EngineKernels& kernels, SweepChunk& chunk,
                                 std::uint32_t frames, std::int32_t writeIndex,
                                 std::int32_t ringLength, bool feedbackOn, double depthGain,
                                 double feedbackGain, const ChunkChannels& channels) {
    const bool vectorsFit = kernels.PrepareTaps(chunk, frames, writeIndex, ringLength);
    const EngineKernels& chosen = vectorsFit ? kernels : *PortableKernels();
    const auto run = feedbackOn ? chosen.RunWithFeedback : chosen.RunWithoutFeedback;
    ChannelRun channel{nullptr, nullptr, &chunk, frames, writeIndex, depthGain, feedbackGain};
    for (std::uint32_t j = 0; j < channels.Count; ++j) {
        if (channels.Samples[j] == nullptr) continue;
        channel.Samples = channels.Samples[j] + channels.Offset;
        channel.Line = channels.Lines[j];
        run(channel);
    }
}

}  // namespace flanger
