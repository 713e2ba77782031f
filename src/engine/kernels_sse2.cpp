// The SSE2 kernels: two doubles per operation, the x86-64 baseline (and on 32-bit x86 builds,
// which require SSE2 for their arithmetic anyway). SSE2 has no gather: groups whose floors differ
// go frame by frame, and a group of one floor whose taps wrap around the ring reads a copy.
#include "engine/engine_kernels.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <algorithm>
#include <type_traits>

#include "engine/frame_math.h"

#define FLANGER_INLINE inline __attribute__((always_inline))
#define FLANGER_INLINE_LAMBDA __attribute__((always_inline))

namespace flanger {
namespace {

// Four input samples, a NaN or infinite one taken as 0, widened to two vectors of doubles.
FLANGER_INLINE void LoadFourFinite(const float* source, __m128d& low, __m128d& high) {
    const __m128i exponent = _mm_set1_epi32(static_cast<int>(kNonFiniteExponent));
    const __m128 samples = _mm_loadu_ps(source);
    const __m128i notFinite =
        _mm_cmpeq_epi32(_mm_and_si128(_mm_castps_si128(samples), exponent), exponent);
    const __m128 finite = _mm_andnot_ps(_mm_castsi128_ps(notFinite), samples);
    low = _mm_cvtps_pd(finite);
    high = _mm_cvtps_pd(_mm_movehl_ps(finite, finite));
}

// Two floats from memory that may be any type's, widened to doubles.
FLANGER_INLINE __m128d LoadTwo(const float* source) {
    return _mm_cvtps_pd(
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source))));
}

FLANGER_INLINE void StoreTwo(float* target, __m128d values) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(target), _mm_castps_si128(_mm_cvtpd_ps(values)));
}

// The delayed signal of two frames whose near taps are taps[0..1] and far taps taps[1..2].
FLANGER_INLINE __m128d DelayedFromConsecutive(const float* taps, __m128d rest, __m128d fraction) {
    return _mm_add_pd(_mm_mul_pd(LoadTwo(taps), rest), _mm_mul_pd(LoadTwo(taps + 1), fraction));
}

// A group of eight frames of one channel whose inputs are x, each pair reading its taps before
// it writes its output and what goes into the line.
template <bool kFeedbackOn>
FLANGER_INLINE void StorePairsOfGroup(float* samples, float* written, const float* taps,
                                      const __m128d* x, const __m128d* rests,
                                      const __m128d* fractions, __m128d depthGain,
                                      __m128d feedbackGain) {
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        const __m128d y = DelayedFromConsecutive(taps + 2 * k, rests[k], fractions[k]);
        StoreTwo(samples + 2 * k, _mm_add_pd(x[k], _mm_mul_pd(y, depthGain)));
        if constexpr (kFeedbackOn) {
            StoreTwo(written + 2 * k, _mm_add_pd(x[k], _mm_mul_pd(y, feedbackGain)));
        } else {
            StoreTwo(written + 2 * k, x[k]);
        }
    }
}

// The channels of a chunk, with the mono and stereo cases' pointers held in registers.
struct ChannelPointers {
    float* Samples;  // the chunk's first frame
    float* Line;
    float* Written;  // where the chunk's first frame goes in the line
};

// Groups of eight frames (kGroupFrames) in four pairs; the positions formed from the linear
// sweep or loaded. kChannels is the number of channels, all present, or 0 for any number.
// Never inlined into RunChunkOfChannels: the set-up of a large frame for one case would be paid
// by every chunk of the others.
template <bool kFeedbackOn, bool kLinear, std::uint32_t kChannels>
[[gnu::noinline]] void RunChunkWith(const ChunkRun& run, const ChannelPointers* channels) {
    static_assert(kGroupFrames == 8);
    // Locals: the vector stores may alias anything, so fields would be read again after each.
    const SweepChunk& chunk = *run.Chunk;
    const std::uint32_t frames = run.Frames;
    const std::int32_t ringLength = run.RingLength;
    const std::int32_t writeIndex = run.WriteIndex;
    const double depth = run.DepthGain, feedback = run.FeedbackGain;
    const ChannelPointers first = channels[0], second = channels[1];
    // TapReadsAGroupAhead for a floor from 1 to RingLength + 1 in one comparison: the close
    // band runs from RingLength - kGroupFrames for a group's width, or to the end of the line
    // where the ring is too short for reading its oldest samples a group ahead.
    const std::int32_t closeBandStart = ringLength - kGroupFrames;
    const std::uint32_t closeBandWidth =
        ringLength >= kGroupFrames + 2 ? std::uint32_t{kGroupFrames} : 0x80000000u;
    const __m128d depthGain = _mm_set1_pd(depth);
    const __m128d feedbackGain = _mm_set1_pd(feedback);
    const __m128d one = _mm_set1_pd(1.0);
    // A linear chunk's positions: LinearPosition of each group's first frame, eight increments
    // more for each group, plus 0 to 7 increments for its frames. Every sum is a multiple of the
    // spacing of doubles inside the binade the chunk stays in, so each is exact and equals
    // LinearPosition of its frame.
    const double increment = chunk.LinearIncrement;
    const __m128d groupStep = _mm_set1_pd(8.0 * increment);
    __m128d linearBase = _mm_set1_pd(chunk.LinearStart);
    __m128d linearOffset[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        linearOffset[k] = _mm_mul_pd(_mm_setr_pd(2.0 * k, 2.0 * k + 1.0), _mm_set1_pd(increment));
    }

    const bool scaled = chunk.Scaled;
    const __m128d amplitude = _mm_set1_pd(chunk.ScaledAmplitude);
    const __m128d centre = _mm_set1_pd(chunk.ScaledCentre);
    // The run of groups that take their taps from the same floor without wrapping: its floor,
    // the near tap of its latest group, and how many groups more it reaches.
    // A linear chunk goes on with the run of the chunk before where it continues it: its first
    // group then finds its taps without waiting for the positions, which only confirm the floor.
    // (Sine chunks rarely end on a whole group, and would only pay for keeping it.)
    GroupRun& carried = run.Chunk->Run;
    std::int32_t runFloor = 0, runNear = 0, runGroupsLeft = 0, runDelay = 0;
    if constexpr (kLinear) {
        if (carried.NextWrite == writeIndex && carried.RingLength == ringLength) {
            runFloor = carried.Floor;
            runNear = carried.Near;
            runGroupsLeft = carried.GroupsLeft;
            runDelay = carried.Delay;
        }
    }
    __m128d runFloorVector = _mm_set1_pd(static_cast<double>(runFloor));

    // A group whose positions have floor `floor` and whose taps `tapsOf(channel)` returns
    // (near ones from there on, far ones from one further on), each pair of the group reading
    // them before the pair writes, for every channel (kChannels of them).
    const auto runPairsOfGroup = [&](std::size_t i, const auto& tapsOf, __m128d floor,
                                     const __m128d* position) FLANGER_INLINE_LAMBDA {
        __m128d fractions[4], rests[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            fractions[k] = _mm_sub_pd(position[k], floor);
            rests[k] = _mm_sub_pd(one, fractions[k]);
        }
        const auto runChannel = [&](ChannelPointers channel) FLANGER_INLINE_LAMBDA {
            float* const samples = channel.Samples + i;
            float* const written = channel.Written + i;
            const float* const taps = tapsOf(channel);
            __m128d x[4];
            LoadFourFinite(samples, x[0], x[1]);
            LoadFourFinite(samples + 4, x[2], x[3]);
            StorePairsOfGroup<kFeedbackOn>(samples, written, taps, x, rests, fractions, depthGain,
                                           feedbackGain);
        };
        runChannel(first);
        if constexpr (kChannels == 2) runChannel(second);
    };

    // The group from frame i on; where kPartial, the chunk's last frames, which do not fill one.
    // i is pointer-sized, so that the addresses need no widening.
    const auto runGroup = [&]<bool kPartial>(std::size_t i,
                                             std::bool_constant<kPartial>) FLANGER_INLINE_LAMBDA {
        const auto end = static_cast<std::uint32_t>(kPartial ? frames : i + 8);
        const std::size_t next = i + 8;
        __m128d position[4];
        if constexpr (kLinear) {
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) position[k] = _mm_add_pd(linearBase, linearOffset[k]);
            linearBase = _mm_add_pd(linearBase, groupStep);
        } else {
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) position[k] = _mm_load_pd(chunk.Position + i + 2 * k);
            if (scaled) {
                const __m128d first = position[0];
#pragma GCC unroll 4
                for (int k = 0; k < 4; ++k) {
                    position[k] = _mm_add_pd(_mm_mul_pd(amplitude, position[k]), centre);
                }
                // The chunk's first frame holds its position itself.
                if (i == 0) position[0] = _mm_move_sd(position[0], first);
            }
        }
        // NaN and positions beyond the 32-bit range truncate to a negative integer.
        const std::int32_t d = _mm_cvttsd_si32(position[0]);
        bool oneFloor;
        if constexpr (kLinear) {
            // Linear positions are ordered: the first and last floor bound the others.
            oneFloor = d == _mm_cvttsd_si32(_mm_unpackhi_pd(position[3], position[3]));
        } else {
            const __m128i floors = _mm_set1_epi32(d);
            const __m128i low =
                _mm_unpacklo_epi64(_mm_cvttpd_epi32(position[0]), _mm_cvttpd_epi32(position[1]));
            const __m128i high =
                _mm_unpacklo_epi64(_mm_cvttpd_epi32(position[2]), _mm_cvttpd_epi32(position[3]));
            oneFloor = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(low, floors),
                                                       _mm_cmpeq_epi32(high, floors))) == 0xFFFF;
        }
        const std::int32_t writePosition = writeIndex + static_cast<std::int32_t>(i);
        std::int32_t near;
        if (oneFloor && d == runFloor && runGroupsLeft > 0) {
            // The run of the group before goes on.
            --runGroupsLeft;
            near = runNear += kGroupFrames;
        } else {
            near = oneFloor ? ConsecutiveTapsStart(d, writePosition, ringLength) : -1;
            runGroupsLeft = 0;
            if (near >= 0) {
                // While the floor stays d, each later group's taps lie kGroupFrames further on,
                // up to where the far run would reach the end of the ring.
                runFloor = d;
                runNear = near;
                runGroupsLeft = (ringLength - kGroupFrames - 1 - near) / kGroupFrames;
                runDelay = static_cast<std::uint32_t>(d - closeBandStart) >= closeBandWidth
                               ? kGroupFrames + 1
                               : DelayInsideGroup(near, writePosition);
                runFloorVector = _mm_set1_pd(static_cast<double>(d));
            }
        }
        if constexpr (!kPartial && kChannels != 0) {
            // One floor from 1 to RingLength whose taps run over the end of the ring: where they
            // lie a group ahead, they are copied into one run.
            if (near < 0 && oneFloor &&
                static_cast<std::uint32_t>(d) - 1u < static_cast<std::uint32_t>(ringLength) &&
                static_cast<std::uint32_t>(d - closeBandStart) >= closeBandWidth) {
                std::int32_t start = d + writePosition;
                if (start >= ringLength) start -= ringLength;
                float taps[kGroupFrames + 1];
                runPairsOfGroup(
                    i,
                    [&](ChannelPointers channel) FLANGER_INLINE_LAMBDA {
                        CopyRingRun(channel.Line, start, ringLength, taps);
                        return static_cast<const float*>(taps);
                    },
                    _mm_set1_pd(static_cast<double>(d)), position);
                return next;
            }
        }
        const std::int32_t delay = runDelay;
        if (near < 0 || (kPartial && delay <= kGroupFrames)) {
            RunFramesOneByOne<kFeedbackOn>(run, static_cast<std::uint32_t>(i), end);
            return next;
        }
        if constexpr (!kPartial && kChannels != 0) {
            if (delay > 2) {
                const auto runTaps = [&](ChannelPointers channel) FLANGER_INLINE_LAMBDA {
                    return static_cast<const float*>(channel.Line + runNear);
                };
                runPairsOfGroup(i, runTaps, runFloorVector, position);
                // The run goes on in a loop of its own while every floor stays d: a later group
                // of a linear chunk keeps the floor where its last frame does, since the
                // positions are ordered.
                const __m128i floors = _mm_set1_epi32(d);
                std::size_t later = next;
                while (runGroupsLeft > 0 && later + 8 <= frames) {
                    if constexpr (kLinear) {
#pragma GCC unroll 4
                        for (int k = 0; k < 4; ++k) {
                            position[k] = _mm_add_pd(linearBase, linearOffset[k]);
                        }
                        if (_mm_cvttsd_si32(_mm_unpackhi_pd(position[3], position[3])) != d) break;
                        linearBase = _mm_add_pd(linearBase, groupStep);
                    } else {
#pragma GCC unroll 4
                        for (int k = 0; k < 4; ++k) {
                            position[k] = _mm_load_pd(chunk.Position + later + 2 * k);
                            if (scaled) {
                                position[k] =
                                    _mm_add_pd(_mm_mul_pd(amplitude, position[k]), centre);
                            }
                        }
                        const __m128i low = _mm_unpacklo_epi64(_mm_cvttpd_epi32(position[0]),
                                                               _mm_cvttpd_epi32(position[1]));
                        const __m128i high = _mm_unpacklo_epi64(_mm_cvttpd_epi32(position[2]),
                                                                _mm_cvttpd_epi32(position[3]));
                        if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(low, floors),
                                                            _mm_cmpeq_epi32(high, floors))) !=
                            0xFFFF) {
                            break;
                        }
                    }
                    --runGroupsLeft;
                    runNear += kGroupFrames;
                    runPairsOfGroup(later, runTaps, runFloorVector, position);
                    later += 8;
                }
                return later;
            }
        }
        // Truncation is floor here, and the floor is d in every frame.
        const __m128d floor = runFloorVector;
        __m128d fractions[4], rests[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            fractions[k] = _mm_sub_pd(position[k], floor);
            rests[k] = _mm_sub_pd(one, fractions[k]);
        }
        alignas(16) double fraction[8], rest[8];
        if (delay <= 2) {
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) {
                _mm_store_pd(fraction + 2 * k, fractions[k]);
                _mm_store_pd(rest + 2 * k, rests[k]);
            }
        }
        const auto runChannelOn = [&](float* samples, const float* taps,
                                      float* written) FLANGER_INLINE_LAMBDA {
            if (delay <= 2 && (kFeedbackOn || delay == 0)) {
                // Each frame reads what the one before it wrote, or taps ahead of the writes
                // yet inside the group: frame by frame.
                RunConsecutiveFramesOneByOne<kFeedbackOn>(samples, taps, written, fraction, rest,
                                                          depth, feedback);
                return;
            }
            __m128d x[4];
            LoadFourFinite(samples, x[0], x[1]);
            LoadFourFinite(samples + 4, x[2], x[3]);
            if (kFeedbackOn || delay > 2) {
                // Each pair reads at most what the pairs before it wrote.
                StorePairsOfGroup<kFeedbackOn>(samples, written, taps, x, rests, fractions,
                                               depthGain, feedbackGain);
                return;
            }
            // Without feedback the line receives the input, which is known before any tap is
            // read: written first, the taps read the line as each frame would find it, except
            // the far taps of a one-frame delay, which read the samples their own frames
            // overwrite.
            __m128d far[4] = {};
            if (delay == 1) {
#pragma GCC unroll 4
                for (int k = 0; k < 4; ++k) far[k] = LoadTwo(taps + 2 * k + 1);
            }
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) StoreTwo(written + 2 * k, x[k]);
            if (delay != 1) {
#pragma GCC unroll 4
                for (int k = 0; k < 4; ++k) far[k] = LoadTwo(taps + 2 * k + 1);
            }
#pragma GCC unroll 4
            for (int k = 0; k < 4; ++k) {
                const __m128d y = _mm_add_pd(_mm_mul_pd(LoadTwo(taps + 2 * k), rests[k]),
                                             _mm_mul_pd(far[k], fractions[k]));
                StoreTwo(samples + 2 * k, _mm_add_pd(x[k], _mm_mul_pd(y, depthGain)));
            }
        };
        const auto runChannel = [&](ChannelPointers channel) FLANGER_INLINE_LAMBDA {
            const float* const taps = channel.Line + static_cast<std::ptrdiff_t>(near);
            if constexpr (kPartial) {
                RunPartialGroup(channel.Samples + i, channel.Written + i, frames - i,
                                [&](float* samples, float* written) FLANGER_INLINE_LAMBDA {
                                    runChannelOn(samples, taps, written);
                                });
            } else {
                runChannelOn(channel.Samples + i, taps, channel.Written + i);
            }
        };
        if constexpr (kChannels == 0) {
            for (std::uint32_t j = 0; j < run.Channels.Count; ++j) {
                if (run.Channels.Samples[j] == nullptr) continue;
                runChannel({run.Channels.Samples[j] + run.Channels.Offset, run.Channels.Lines[j],
                            run.Channels.Lines[j] + writeIndex});
            }
        } else {
            runChannel(first);
            if constexpr (kChannels == 2) runChannel(second);
        }
        return next;
    };
    std::size_t i = 0;
    while (i + 8 <= frames) i = runGroup(i, std::false_type{});
    // Only a chunk of whole groups leaves its run to the next: after a part of a group, the
    // next chunk's groups start elsewhere.
    if constexpr (kLinear) {
        carried = GroupRun{-1, ringLength, runFloor, runNear, runGroupsLeft, runDelay};
        if (i == frames) carried.NextWrite = writeIndex + static_cast<std::int32_t>(frames);
    }
    if (i < frames) {
        if constexpr (!kLinear) {
            // The frames beyond the chunk take its last position, so that the group takes the
            // path its frames inside the chunk would.
            std::fill(run.Chunk->Position + frames, run.Chunk->Position + i + 8,
                      run.Chunk->Position[frames - 1]);
        }
        runGroup(i, std::true_type{});
    }
}

// The mono and stereo cases with their pointers in registers, any other count from the run.
template <bool kFeedbackOn, bool kLinear>
void RunChunkOfChannels(const ChunkRun& run) {
    const ChunkChannels& given = run.Channels;
    const auto pointersOf = [&](std::uint32_t j) {
        return ChannelPointers{given.Samples[j] + given.Offset, given.Lines[j],
                              given.Lines[j] + run.WriteIndex};
    };
    // The plug-ins' chunks first, without the count below: every channel of a stereo or mono
    // chunk present.
    if (given.Count == 2 && given.Samples[0] != nullptr && given.Samples[1] != nullptr) {
        const ChannelPointers stereo[2] = {pointersOf(0), pointersOf(1)};
        RunChunkWith<kFeedbackOn, kLinear, 2>(run, stereo);
        return;
    }
    if (given.Count == 1 && given.Samples[0] != nullptr) {
        const ChannelPointers mono[2] = {pointersOf(0), {}};
        RunChunkWith<kFeedbackOn, kLinear, 1>(run, mono);
        return;
    }
    ChannelPointers channels[2] = {};
    std::uint32_t present = 0;
    for (std::uint32_t j = 0; j < run.Channels.Count && j < 3; ++j) {
        if (run.Channels.Samples[j] == nullptr) continue;
        if (present < 2) {
            channels[present] = {run.Channels.Samples[j] + run.Channels.Offset,
                                 run.Channels.Lines[j], run.Channels.Lines[j] + run.WriteIndex};
        }
        ++present;
    }
    if (present == 1 && run.Channels.Count == 1) {
        RunChunkWith<kFeedbackOn, kLinear, 1>(run, channels);
    } else if (present == 2 && run.Channels.Count == 2) {
        RunChunkWith<kFeedbackOn, kLinear, 2>(run, channels);
    } else if (run.Channels.Count > 0) {
        RunChunkWith<kFeedbackOn, kLinear, 0>(run, channels);
    }
}

void RunChunk(const ChunkRun& run) {
    const bool linear = run.Chunk->Linear;
    if (run.FeedbackOn) {
        linear ? RunChunkOfChannels<true, true>(run) : RunChunkOfChannels<true, false>(run);
    } else {
        linear ? RunChunkOfChannels<false, true>(run) : RunChunkOfChannels<false, false>(run);
    }
}

constexpr EngineKernels kSse2{InstructionSet::Sse2, RunChunk, SineTerms};

}  // namespace

const EngineKernels* Sse2Kernels() { return &kSse2; }

}  // namespace flanger

#else

namespace flanger {
const EngineKernels* Sse2Kernels() { return nullptr; }
}  // namespace flanger

#endif
