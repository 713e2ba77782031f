// The per-chunk steps of a flanger state, written once for FlangerEngine and for the voices of
// the live mode (flanger_voice.h): stepping the sweep over a chunk, and running every channel
// over the chunk with the kernels. Sharing them keeps every engine's steady state the same
// arithmetic, bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/engine_kernels.h"
#include "engine/sine_oscillator.h"

namespace flanger {

// Adding `step` to a position again and again rounds each sum to the spacing of doubles in the
// binade [2^e, 2^(e+1)) the position lies in. While every sum stays inside that binade and the
// step is not exactly halfway between two multiples of the spacing, every addition adds the same
// rounded increment, so the k-th position is exactly position + k * increment (k * increment is
// a small multiple of the spacing, and so is the sum): the chunk needs no chain of additions,
// each waiting for the one before. Fills `positions` and `next` (the position after the chunk)
// and returns true in that case; returns false, writing nothing, otherwise.
inline bool StepInsideOneBinade(double position, double step, std::uint32_t frames,
                                double* positions, double& next) {
    // The comparisons also refuse NaN.
    if (!(position >= 1.0 && std::fabs(step) < position)) return false;
    // The binade's lower end and the spacing of doubles in it, from the exponent's bits.
    std::uint64_t bits;
    std::memcpy(&bits, &position, sizeof bits);
    const std::uint64_t exponent = (bits >> 52) & 0x7FF;  // at least 1023: position >= 1
    const std::uint64_t lowBits = exponent << 52, spacingBits = (exponent - 52) << 52;
    double low, spacing;
    std::memcpy(&low, &lowBits, sizeof low);
    std::memcpy(&spacing, &spacingBits, sizeof spacing);
    // A step halfway between two multiples of the spacing rounds to even: not the same each
    // time. Twice the step in spacings (exact, below 2^54) is then an odd whole number.
    const double twice = 2.0 * (std::fabs(step) / spacing);
    const auto whole = static_cast<std::int64_t>(twice);
    if (static_cast<double>(whole) == twice && (whole & 1) != 0) return false;
    // Exact whenever the sum stays in the binade, which the margin below makes sure of.
    const double increment = (position + step) - position;
    const double reach = static_cast<double>(frames + 1) * std::fabs(increment) + std::fabs(step);
    if (!(position + reach < 2.0 * low && position - reach > low)) return false;
    // Each position from the frame's own index: no addition waits for another.
    const auto count = static_cast<std::int32_t>(frames);
    std::int32_t i = 0;
#if defined(__SSE2__)
    // Four frames a round, the indices kept as doubles (whole numbers, exact).
    const __m128d start = _mm_set1_pd(position), increments = _mm_set1_pd(increment);
    const __m128d four = _mm_set1_pd(4.0);
    __m128d firstPair = _mm_setr_pd(0.0, 1.0), secondPair = _mm_setr_pd(2.0, 3.0);
    for (; i + 4 <= count; i += 4) {
        _mm_storeu_pd(positions + i, _mm_add_pd(start, _mm_mul_pd(firstPair, increments)));
        _mm_storeu_pd(positions + i + 2, _mm_add_pd(start, _mm_mul_pd(secondPair, increments)));
        firstPair = _mm_add_pd(firstPair, four);
        secondPair = _mm_add_pd(secondPair, four);
    }
#endif
    for (; i < count; ++i) positions[i] = position + static_cast<double>(i) * increment;
    next = position + static_cast<double>(count) * increment;
    return true;
}

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
    if (!StepInsideOneBinade(position, step, frames, positions, current)) {
#pragma GCC unroll 4
        for (std::uint32_t i = 0; i < frames; ++i) {
            positions[i] = current;
            current = current + currentStep;
        }
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
