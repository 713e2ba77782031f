// The per-chunk steps of a flanger state, written once for FlangerEngine and for the voices of
// the live mode (flanger_voice.h): stepping the sweep over a chunk, and running every channel
// over the chunk with the kernels. Sharing them keeps every engine's steady state the same
// arithmetic, bit for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "engine/engine_kernels.h"
#include "engine/sine_oscillator.h"

namespace flanger {

// Adding `step` to a position again and again rounds each sum to the spacing of doubles in the
// binade [2^e, 2^(e+1)) the position lies in. While every sum stays inside that binade and the
// step is not exactly halfway between two multiples of the spacing, every addition adds the same
// rounded increment, so the k-th position is exactly position + k * increment (k * increment is
// a small multiple of the spacing, and so is the sum): the chunk needs no chain of additions,
// each waiting for the one before. Sets `increment` and returns true when `frames` steps (and
// the one after) stay so; returns false otherwise.
inline bool StepsInsideOneBinade(double position, double step, std::uint32_t frames,
                                 double& increment, double& binadeLow) {
    // The comparisons also refuse NaN.
    if (!(position >= 1.0 && std::fabs(step) < position)) return false;
    // The binade's lower end and the spacing of doubles in it, from the exponent's bits.
    std::uint64_t bits;
    std::memcpy(&bits, &position, sizeof bits);
    const std::uint64_t exponent = (bits >> 52) & 0x7FF;  // at least 1023: position >= 1
    // The spacing is 2^(e-52); its inverse 2^(52-e) is a double too (e - 52 >= -52), so that
    // multiplying by it is exactly the division, without the division's wait.
    const std::uint64_t lowBits = exponent << 52, inverseSpacingBits = (2 * 1023 + 52 - exponent)
                                                                       << 52;
    double low, inverseSpacing;
    std::memcpy(&low, &lowBits, sizeof low);
    std::memcpy(&inverseSpacing, &inverseSpacingBits, sizeof inverseSpacing);
    // A step halfway between two multiples of the spacing rounds to even: not the same each
    // time. Twice the step in spacings (exact, below 2^54) is then an odd whole number.
    const double twice = 2.0 * (std::fabs(step) * inverseSpacing);
    const auto whole = static_cast<std::int64_t>(twice);
    if (static_cast<double>(whole) == twice && (whole & 1) != 0) return false;
    // Exact whenever the sum stays in the binade, which the margin below makes sure of.
    increment = (position + step) - position;
    binadeLow = low;
    const double reach = static_cast<double>(frames + 1) * std::fabs(increment) + std::fabs(step);
    return position + reach < 2.0 * low && position - reach > low;
}

// Where a triangle sweep goes on linearly for many chunks: the positions between Lower
// (excluded) and Upper lie in one binade, far enough inside it that StepsInsideOneBinade passes
// for any chunk starting there, and call for no turn. A chunk that starts at Next with the same
// step, base and ring length and ends in there is linear with Increment, as the full checks would
// find; it skips them. The stretch depends on nothing but those four, so a sweep that is moved,
// reopened or given other settings simply fails the comparison and starts a new one.
struct LinearStretch {
    double Next = std::numeric_limits<double>::quiet_NaN();  // NaN: none yet
    double Step = 0.0;
    double Base = 0.0;
    std::int32_t RingLength = 0;
    double Increment = 0.0;
    double Lower = 0.0;
    double Upper = 0.0;
};

// Starts a stretch at `next`, the end of a chunk found linear with `increment` in the binade from
// `binadeLow` on.
inline void StartLinearStretch(LinearStretch& stretch, double next, double step, double base,
                               std::int32_t ringLength, double increment, double binadeLow) {
    // Twice the widest reach StepsInsideOneBinade takes for a chunk, plus a few spacings of the
    // binade, so that its rounded sums cannot tip a comparison the other way.
    const double margin =
        2.0 * (static_cast<double>(kChunkFrames + 1) * std::fabs(increment) + std::fabs(step)) +
        binadeLow * 0x1p-49;
    const double top = static_cast<double>(ringLength) + 1.0;
    stretch.Lower = std::max(binadeLow + margin, base);
    stretch.Upper = std::min(2.0 * binadeLow - margin, top);
    stretch.Next = next > stretch.Lower && next <= stretch.Upper
                       ? next
                       : std::numeric_limits<double>::quiet_NaN();
    stretch.Step = step;
    stretch.Base = base;
    stretch.RingLength = ringLength;
    stretch.Increment = increment;
}

// The position of a linear chunk's frame i (see SweepChunk::Linear).
inline double LinearPosition(const SweepChunk& chunk, std::uint32_t i) {
    return chunk.LinearStart + static_cast<double>(i) * chunk.LinearIncrement;
}

// Writes a linear chunk's positions into Position, for code that reads them from there.
inline void WriteLinearPositions(SweepChunk& chunk, std::uint32_t frames) {
    if (!chunk.Linear) return;
    for (std::uint32_t i = 0; i < frames; ++i) chunk.Position[i] = LinearPosition(chunk, i);
    chunk.Linear = false;
}

// StepTriangleSweep for a chunk that does not go on along the stretch: the checks of
// StepsInsideOneBinade, or else each frame's addition, and a new stretch where the chunk is
// linear. Apart from StepTriangleSweep, so that a chunk along the stretch sets up none of this.
[[gnu::noinline]] inline void StepTriangleSweepAfresh(double& position, double& step, double base,
                                                      std::int32_t ringLength,
                                                      LinearStretch& stretch, SweepChunk& chunk,
                                                      std::uint32_t frames) {
    chunk.Scaled = false;
    // The upper bound is the ring length, not the base plus the width. The turn is due when
    // position - 1.0 > RingLength, which is exactly position > RingLength + 1.0: 1.0 comes off
    // a position of 1.0 or more without rounding, and below 1.0 neither holds.
    const double top = static_cast<double>(ringLength) + 1.0;
    const auto turnIsDue = [top, base](double p) { return p > top || p <= base; };
    double* const positions = chunk.Position;

    // Most chunks have no turn. Adding the same step again and again with rounding to nearest
    // never reverses direction, so the positions after each step are ordered: if neither the
    // first nor the last calls for a turn, none between does, and the chunk can step without
    // checking.
    double increment, binadeLow;
    if (StepsInsideOneBinade(position, step, frames, increment, binadeLow)) {
        const double next = position + static_cast<double>(frames) * increment;
        if (!turnIsDue(position + increment) && !turnIsDue(next)) {
            chunk.Linear = true;
            chunk.LinearStart = position;
            chunk.LinearIncrement = increment;
            position = next;
            StartLinearStretch(stretch, next, step, base, ringLength, increment, binadeLow);
            return;
        }
    }
    chunk.Linear = false;
    // Locals, so that the sequence stays in registers while the positions are stored.
    double current = position;
    double currentStep = step;
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

// StepTriangleSweep for a chunk that starts where `stretch` goes on and ends inside it: returns
// false, doing nothing, for any other.
inline bool StepAlongLinearStretch(double& position, double step, double base,
                                   std::int32_t ringLength, LinearStretch& stretch,
                                   SweepChunk& chunk, std::uint32_t frames) {
    if (position != stretch.Next || step != stretch.Step || base != stretch.Base ||
        ringLength != stretch.RingLength) {
        return false;
    }
    // Every position between two inside the stretch is inside too: they are ordered.
    const double next = position + static_cast<double>(frames) * stretch.Increment;
    if (!(next > stretch.Lower && next <= stretch.Upper)) return false;
    chunk.Scaled = false;
    chunk.Linear = true;
    chunk.LinearStart = position;
    chunk.LinearIncrement = stretch.Increment;
    position = next;
    stretch.Next = next;
    return true;
}

// Steps a triangle sweep `frames` frames, leaving the position each frame reads in `chunk`:
// as a linear chunk where no frame turns and the steps stay in one binade, else in Position.
// `position` and `step` are the sweep's state: the position the next frame reads and the change
// per frame, whose sign flips at each turn; `stretch` goes with them from chunk to chunk.
inline void StepTriangleSweep(double& position, double& step, double base, std::int32_t ringLength,
                              LinearStretch& stretch, SweepChunk& chunk, std::uint32_t frames) {
    if (StepAlongLinearStretch(position, step, base, ringLength, stretch, chunk, frames)) return;
    StepTriangleSweepAfresh(position, step, base, ringLength, stretch, chunk, frames);
}

// Steps a sine sweep `frames` (at least 1) frames: frame i reads the position set after frame
// i - 1, the oscillator's next value plus `base`.
inline void StepSineSweep(double& position, double base, SineOscillator& oscillator,
                          SweepChunk& chunk, std::uint32_t frames) {
    double* const positions = chunk.Position;
    chunk.Linear = false;
    chunk.Scaled = false;
    positions[0] = position;
    oscillator.NextValues(positions + 1, frames - 1, base);
    position = oscillator.NextValue() + base;
}

// StepSineSweep, leaving frames 1 on as the oscillator's terms for the kernels to scale (see
// SweepChunk::Scaled).
inline void StepSineSweepScaledLater(double& position, double base, SineOscillator& oscillator,
                                     SweepChunk& chunk, std::uint32_t frames,
                                     const EngineKernels& kernels) {
    chunk.Linear = false;
    chunk.Scaled = true;
    chunk.ScaledAmplitude = oscillator.AmplitudeValue();
    chunk.ScaledCentre = base;
    chunk.Position[0] = position;
    oscillator.NextTerms(chunk.Position + 1, frames - 1, kernels.SineTerms);
    position = oscillator.NextValue() + base;
}

// StepSineSweepScaledLater for kernels that form the terms themselves as they run the chunk
// (EngineKernels::FormsSineTerms), which must then run it: FinishSineSweep, once they have,
// steps the sweep past the chunk. Any other kernels get the terms now.
inline void StartSineSweep(double& position, double base, SineOscillator& oscillator,
                           SweepChunk& chunk, std::uint32_t frames, const EngineKernels& kernels) {
    if (!kernels.FormsSineTerms) {
        return StepSineSweepScaledLater(position, base, oscillator, chunk, frames, kernels);
    }
    chunk.Linear = false;
    chunk.Scaled = true;
    chunk.ScaledAmplitude = oscillator.AmplitudeValue();
    chunk.ScaledCentre = base;
    chunk.Position[0] = position;
    chunk.FormsTerms = true;
    chunk.TermCoefficient = oscillator.TermCoefficient();
    chunk.TermCurrent = oscillator.CurrentTerm();
    chunk.TermPrevious = oscillator.PreviousTerm();
}

inline void FinishSineSweep(double& position, double base, SineOscillator& oscillator,
                            SweepChunk& chunk) {
    if (!chunk.FormsTerms) return;
    chunk.FormsTerms = false;
    oscillator.SetTermState(chunk.TermCurrent, chunk.TermPrevious);
    position = oscillator.NextValue() + base;
}

// Runs every channel over a chunk whose positions `chunk` holds, with the taps shared by all
// channels.
inline void RunChannelsOverChunk(const EngineKernels& kernels, SweepChunk& chunk,
                                 std::uint32_t frames, std::int32_t writeIndex,
                                 std::int32_t ringLength, bool feedbackOn, double depthGain,
                                 double feedbackGain, const ChunkChannels& channels) {
    kernels.RunChunk(ChunkRun{&chunk, frames, writeIndex, ringLength, feedbackOn, depthGain,
                              feedbackGain, channels});
}

}  // namespace flanger
