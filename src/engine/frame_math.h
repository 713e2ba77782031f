// The engine's per-frame arithmetic, written once for every kernel: the tap of one read
// position and one channel's frame. The vector kernels use these for the frames that do not
// fill a vector and must agree with them bit for bit everywhere else.
#pragma once

#include <cmath>
#include <cstdint>

#include "engine/engine_kernels.h"

namespace flanger {

// Whether `sweepPos` lies inside the lines, where its tap needs no clamping.
inline bool TapIsInside(double sweepPos, std::int32_t ringLength) {
    return sweepPos >= 0.0 && sweepPos < static_cast<double>(ringLength) + 2.0;
}

// The tap of position `sweepPos` for the frame written at ring position `writeIndex`: the near
// ring position p, the far one q = p + 1 (wrapping to 0), and the fraction f between them.
//
// While the parameters are non-negative the sweep keeps floor(SweepPos) within
// [0, RingLength + 1], where truncation equals floor. Outside that (an owner's NaN, a sine
// recursion drifting over hours) the tap is clamped so that it never leaves the line.
inline void ComputeTap(SweepChunk& chunk, std::uint32_t i, std::int32_t writeIndex,
                       std::int32_t ringLength) {
    const double sweepPos = chunk.Position[i];
    std::int32_t d;
    double f;
    if (TapIsInside(sweepPos, ringLength)) {
        d = static_cast<std::int32_t>(sweepPos);
        f = sweepPos - static_cast<double>(d);
    } else {
        d = sweepPos >= 0.0 ? ringLength + 1 : 0;
        f = sweepPos - std::floor(sweepPos);
    }
    std::int32_t p = d + writeIndex;
    if (p >= ringLength) p -= ringLength;
    std::int32_t q = p + 1;
    if (q >= ringLength) q = 0;
    chunk.Near[i] = p;
    chunk.Far[i] = q;
    chunk.Fraction[i] = f;
    chunk.Rest[i] = 1.0 - f;
}

// Whether the vector kernels may read the taps of position `d` (floor of the sweep) a group
// ahead of their writes. The near tap d ring positions ahead of the write position was written
// RingLength - d frames before (d < RingLength), the far tap one frame later; d = RingLength
// and RingLength + 1 read the oldest samples or the spare element.
inline bool TapReadsAGroupAhead(std::int32_t d, std::int32_t ringLength) {
    return d < ringLength - kGroupFrames || (d >= ringLength && ringLength >= kGroupFrames + 2);
}

// Whether the vector kernels may run a chunk whose floor values all lie between those of
// `lowest` and `highest`, the extreme positions of the chunk, both inside the lines: either
// every tap is more than a group behind the write position, or every one reads the oldest
// samples of a ring long enough.
inline bool ChunkReadsAGroupAhead(double lowest, double highest, std::int32_t ringLength) {
    return highest < static_cast<double>(ringLength - kGroupFrames) ||
           (lowest >= static_cast<double>(ringLength) && ringLength >= kGroupFrames + 2);
}

// Taps for a whole chunk, frame by frame. Returns whether the vector kernels may run it.
inline bool PrepareTapsFrameByFrame(SweepChunk& chunk, std::uint32_t frames,
                                    std::int32_t writeIndex, std::int32_t ringLength) {
    bool readsAhead = true;
    for (std::uint32_t i = 0; i < frames; ++i) {
        ComputeTap(chunk, i, writeIndex + static_cast<std::int32_t>(i), ringLength);
        const double position = chunk.Position[i];
        readsAhead = readsAhead && TapIsInside(position, ringLength) &&
                     TapReadsAGroupAhead(static_cast<std::int32_t>(position), ringLength);
    }
    return readsAhead;
}

// The end of a vector PrepareTaps: taps frame by frame for the frames from `first` on, which do
// not fill a vector, then the verdict on the whole chunk. `inside` tells whether every vector
// frame's position was inside the lines, `lowest` and `highest` are the vector frames'
// extreme positions. A chunk with a position outside the lines gets the clamped taps.
inline bool FinishTaps(SweepChunk& chunk, std::uint32_t first, std::uint32_t frames,
                       std::int32_t writeIndex, std::int32_t ringLength, bool inside, double lowest,
                       double highest) {
    for (std::uint32_t i = first; i < frames; ++i) {
        ComputeTap(chunk, i, writeIndex + static_cast<std::int32_t>(i), ringLength);
        const double position = chunk.Position[i];
        inside = inside && TapIsInside(position, ringLength);
        lowest = position < lowest ? position : lowest;
        highest = position > highest ? position : highest;
    }
    // The comparisons also refuse a NaN extreme.
    inside = inside && lowest >= 0.0 && highest < static_cast<double>(ringLength) + 2.0;
    if (!inside) return PrepareTapsFrameByFrame(chunk, frames, writeIndex, ringLength);
    return ChunkReadsAGroupAhead(lowest, highest, ringLength);
}

// One frame of one channel: reads the taps, writes the output over the input and the line.
template <bool kFeedbackOn>
inline void RunFrame(const ChannelRun& run, std::uint32_t i) {
    const SweepChunk& chunk = *run.Chunk;
    const double x = run.Samples[i];
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

}  // namespace flanger
