// The engine's per-frame arithmetic, written once for every kernel: the tap of one read
// position and one channel's frame. The vector kernels use these for the frames that do not
// fill a vector and must agree with them bit for bit everywhere else.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/engine_kernels.h"

namespace flanger {
// Internal linkage: each kernel's file keeps its own copies, compiled for its own instruction
// set. Copies shared between files would leave the linker free to keep one built for AVX2.
namespace {

// The end of the positions inside the lines: RingLength + 2. The frame loops compute it once.
inline double InsideEnd(std::int32_t ringLength) { return static_cast<double>(ringLength) + 2.0; }

// Whether `sweepPos` lies inside the lines, from 0 to below `insideEnd`, where truncation equals
// floor and the tap lies in the line as it is. The sweep never produces -0.0, taken as 0.0 here.
inline bool TapIsInside(double sweepPos, double insideEnd) {
    return sweepPos >= 0.0 && sweepPos < insideEnd;
}

// The floor d and fraction f of a position outside the lines (TapIsInside false), with the
// ring's wrap folded into d so that d + writeIndex lies in the line.
//
// While the parameters are non-negative the sweep keeps floor(SweepPos) at most RingLength + 1,
// and only a sine without delay goes below 0: its centre lies a 200 000th of its amplitude
// closer to 0 than its amplitude. Such a floor is taken as it stands, since d + writeIndex still
// lies in the ring, except where the sum falls below 0 and the ring wraps it to its end (d = -1
// at write position 0 reads the last ring position). Positions below -RingLength or beyond the
// line (an owner's NaN or infinite speed) are clamped into the line.
//
// Rare, so kept out of the frame loops, where it would crowd the common case.
[[gnu::cold, gnu::noinline]] inline std::int32_t FloorOutsideTruncation(double sweepPos,
                                                                        std::int32_t writeIndex,
                                                                        std::int32_t ringLength,
                                                                        double& f) {
    const double floor = std::floor(sweepPos);
    f = sweepPos - floor;
    if (floor < 0.0 && floor >= -static_cast<double>(ringLength)) {
        const auto d = static_cast<std::int32_t>(floor);
        return d + writeIndex < 0 ? d + ringLength : d;
    }
    return sweepPos >= 0.0 ? ringLength + 1 : 0;
}

// The tap of floor `d` and fraction `f` for the frame written at ring position `writeIndex`:
// the near ring position p, the far one q = p + 1 (wrapping to 0), and their weights.
inline void StoreTap(SweepChunk& chunk, std::uint32_t i, std::int32_t d, double f,
                     std::int32_t writeIndex, std::int32_t ringLength) {
    std::int32_t p = d + writeIndex;
    if (p >= ringLength) p -= ringLength;
    std::int32_t q = p + 1;
    if (q >= ringLength) q = 0;
    chunk.Near[i] = p;
    chunk.Far[i] = q;
    chunk.Fraction[i] = f;
    chunk.Rest[i] = 1.0 - f;
}

// The tap of frame i's position, known to lie inside the lines, where truncation is floor.
inline void ComputeInsideTap(SweepChunk& chunk, std::uint32_t i, std::int32_t writeIndex,
                             std::int32_t ringLength) {
    const double sweepPos = chunk.Position[i];
    const auto d = static_cast<std::int32_t>(sweepPos);
    StoreTap(chunk, i, d, sweepPos - static_cast<double>(d), writeIndex, ringLength);
}

// The tap of frame i's position, for the frame written at ring position `writeIndex`.
// `insideEnd` is InsideEnd(ringLength).
inline void ComputeTap(SweepChunk& chunk, std::uint32_t i, std::int32_t writeIndex,
                       std::int32_t ringLength, double insideEnd) {
    const double sweepPos = chunk.Position[i];
    std::int32_t d;
    double f;
    if (TapIsInside(sweepPos, insideEnd)) {
        d = static_cast<std::int32_t>(sweepPos);
        f = sweepPos - static_cast<double>(d);
    } else {
        d = FloorOutsideTruncation(sweepPos, writeIndex, ringLength, f);
    }
    StoreTap(chunk, i, d, f, writeIndex, ringLength);
}

// Whether the vector kernels may read the taps of position `d` (floor of the sweep) a group
// ahead of their writes. The near tap d ring positions ahead of the write position was written
// RingLength - d frames before (d < RingLength), the far tap one frame later; d = RingLength
// and RingLength + 1 read the oldest samples or the spare element.
inline bool TapReadsAGroupAhead(std::int32_t d, std::int32_t ringLength) {
    return d < ringLength - kGroupFrames || (d >= ringLength && ringLength >= kGroupFrames + 2);
}

// Taps for a whole chunk, frame by frame. Returns whether the vector kernels may run it.
inline bool PrepareTapsFrameByFrame(SweepChunk& chunk, std::uint32_t frames,
                                    std::int32_t writeIndex, std::int32_t ringLength) {
    const double insideEnd = InsideEnd(ringLength);
    bool readsAhead = true;
    for (std::uint32_t i = 0; i < frames; ++i) {
        ComputeTap(chunk, i, writeIndex + static_cast<std::int32_t>(i), ringLength, insideEnd);
        const double position = chunk.Position[i];
        readsAhead = readsAhead && TapIsInside(position, insideEnd) &&
                     TapReadsAGroupAhead(static_cast<std::int32_t>(position), ringLength);
    }
    return readsAhead;
}

// The sine oscillator's recursion over `count` terms (SineOscillator::TermsFunction): each term
// is the current value, and the next is coefficient * current - previous. The two values take
// turns instead of being copied.
inline void SineTerms(double* values, std::uint32_t count, double coefficient, double& current,
                      double& previous) {
    // Locals: stores through `values` could otherwise alias the state.
    double now = current, before = previous;
    double* const end = values + count;
    for (double* const eightsEnd = values + (count & ~7u); values != eightsEnd; values += 8) {
#pragma GCC unroll 4
        for (int k = 0; k < 8; k += 2) {
            values[k] = now;
            before = coefficient * now - before;
            values[k + 1] = before;
            now = coefficient * before - now;
        }
    }
    for (; values != end; ++values) {
        *values = now;
        const double next = coefficient * now - before;
        before = now;
        now = next;
    }
    current = now;
    previous = before;
}

// The input as it enters the lines. A NaN or infinite sample that entered a delay line would stay
// there with feedback on, and every later output of the channel would be NaN: one bad sample
// from a host or a file would silence the effect for good. Such samples are taken as silence,
// so the effect recovers as soon as the input is finite again; finite input is left exactly as
// it is. Every kernel applies this as it loads the input (the SSE2 one over the exponent bits,
// as here; the AVX2 one by comparing x - x, NaN for these alone), sparing the buffer a pass of
// its own. The bits are copied rather than taken with std::bit_cast, whose unoptimised instance
// would be code the files share (see above).
inline float FiniteInput(float sample) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &sample, sizeof bits);
    return (bits & kNonFiniteExponent) == kNonFiniteExponent ? 0.0F : sample;
}

// One frame of one channel: reads the taps, writes the output over the input and the line.
template <bool kFeedbackOn>
inline void RunFrame(const ChannelRun& run, std::uint32_t i) {
    const SweepChunk& chunk = *run.Chunk;
    const double x = FiniteInput(run.Samples[i]);
    const double y = static_cast<double>(run.Line[chunk.Near[i]]) * chunk.Rest[i] +
                     static_cast<double>(run.Line[chunk.Far[i]]) * chunk.Fraction[i];
    run.Samples[i] = static_cast<float>(x + y * run.DepthGain);
    // The line receives the input, never the output.
    if constexpr (kFeedbackOn) {
        run.Line[run.WriteIndex + static_cast<std::int32_t>(i)] =
            static_cast<float>(x + y * run.FeedbackGain);
    } else {
        run.Line[run.WriteIndex + static_cast<std::int32_t>(i)] = static_cast<float>(x);
    }
}

// Frames `first` to `last` - 1 of a chunk, every channel frame by frame: the rules as they are
// defined, for any position and any delay.
template <bool kFeedbackOn>
inline void RunFramesOneByOne(const ChunkRun& run, std::uint32_t first, std::uint32_t last) {
    SweepChunk& chunk = *run.Chunk;
    if (chunk.Linear) {
        // As LinearPosition (chunk_steps.h) forms them.
        for (std::uint32_t i = first; i < last; ++i) {
            chunk.Position[i] = chunk.LinearStart + static_cast<double>(i) * chunk.LinearIncrement;
        }
    }
    if (chunk.Scaled) {
        for (std::uint32_t i = first > 0 ? first : 1; i < last; ++i) {
            chunk.Position[i] = chunk.ScaledAmplitude * chunk.Position[i] + chunk.ScaledCentre;
        }
    }
    const double insideEnd = InsideEnd(run.RingLength);
    for (std::uint32_t i = first; i < last; ++i) {
        ComputeTap(chunk, i, run.WriteIndex + static_cast<std::int32_t>(i), run.RingLength,
                   insideEnd);
    }
    ChannelRun channel{nullptr,        nullptr,       &chunk,          run.Frames,
                       run.WriteIndex, run.DepthGain, run.FeedbackGain};
    for (std::uint32_t j = 0; j < run.Channels.Count; ++j) {
        if (run.Channels.Samples[j] == nullptr) continue;
        channel.Samples = run.Channels.Samples[j] + run.Channels.Offset;
        channel.Line = run.Channels.Lines[j];
        for (std::uint32_t i = first; i < last; ++i) RunFrame<kFeedbackOn>(channel, i);
    }
}

// The ring position of the near tap of floor `d` for the frame written at `writePosition`, when
// the group of kGroupFrames frames from there may take its taps from two runs of consecutive
// samples: all of the group's positions have floor `d`, inside the lines, and neither run wraps
// around the ring. Otherwise -1.
inline std::int32_t ConsecutiveTapsStart(std::int32_t d, std::int32_t writePosition,
                                         std::int32_t ringLength) {
    // 1 <= d <= RingLength + 1, in one comparison.
    if (static_cast<std::uint32_t>(d) - 1u > static_cast<std::uint32_t>(ringLength)) return -1;
    std::int32_t p = d + writePosition;
    if (p >= ringLength) p -= ringLength;
    // The far tap of the group's last frame is p + kGroupFrames.
    return p + kGroupFrames < ringLength ? p : -1;
}

// For a group of kGroupFrames frames whose taps may not be read a group ahead of its writes
// (TapReadsAGroupAhead false), written from ring position `writePosition` on and taking its
// taps from two consecutive runs from `near` on: how many frames before the frame that reads it
// its near tap was written, from 1 to kGroupFrames, where that sample may be one the group
// writes itself; 0 where the taps lie ahead of the writes, which only frame by frame covers.
inline std::int32_t DelayInsideGroup(std::int32_t near, std::int32_t writePosition) {
    const std::int32_t delay = writePosition - near;
    return delay >= 1 && delay <= kGroupFrames ? delay : 0;
}

// A group of kGroupFrames frames of one channel over consecutive taps from `taps`, frame by
// frame: each frame may read what the one before it wrote. `fraction` and `rest` hold the
// group's weights.
template <bool kFeedbackOn>
inline void RunConsecutiveFramesOneByOne(float* samples, const float* taps, float* written,
                                         const double* fraction, const double* rest,
                                         double depthGain, double feedbackGain) {
    for (std::int32_t k = 0; k < kGroupFrames; ++k) {
        const double x = FiniteInput(samples[k]);
        const double y =
            static_cast<double>(taps[k]) * rest[k] + static_cast<double>(taps[k + 1]) * fraction[k];
        samples[k] = static_cast<float>(x + y * depthGain);
        written[k] = static_cast<float>(kFeedbackOn ? x + y * feedbackGain : x);
    }
}

// The kGroupFrames + 1 samples of `line` from ring position `start` on, going on at 0 after the
// ring's last position, into `run`: the taps of a group whose floor lies from 1 to RingLength
// (RingLength at least kGroupFrames), where they run over the end of the ring.
inline void CopyRingRun(const float* line, std::int32_t start, std::int32_t ringLength,
                        float* run) {
    for (std::int32_t m = 0; m <= kGroupFrames; ++m) {
        const std::int32_t position = start + m;
        run[m] = line[position >= ringLength ? position - ringLength : position];
    }
}

// A chunk's last `frames` frames of one channel (fewer than a group), run by `runGroup(samples,
// written)` as a whole group over local copies: the input, and the line's part, which it writes
// whole. It must read its taps a group ahead of its writes, since they reach the line last.
template <typename RunGroup>
[[gnu::always_inline]] inline void RunPartialGroup(float* samples, float* written,
                                                   std::size_t frames, const RunGroup& runGroup) {
    float input[kGroupFrames] = {}, line[kGroupFrames];
    // Copied frame by frame: a call to copy so few would cost more than the copy.
#pragma GCC unroll 8
    for (std::size_t k = 0; k < kGroupFrames - 1; ++k) {
        if (k < frames) input[k] = samples[k];
    }
    runGroup(input, line);
#pragma GCC unroll 8
    for (std::size_t k = 0; k < kGroupFrames - 1; ++k) {
        if (k < frames) {
            samples[k] = input[k];
            written[k] = line[k];
        }
    }
}

}  // namespace
}  // namespace flanger
