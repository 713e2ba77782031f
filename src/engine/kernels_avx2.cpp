// The AVX2 kernels: four doubles per operation, taps from consecutive samples or gathered. This
// file alone is compiled for AVX2 (without FMA, which would fuse the multiply-adds and change their
// rounding); the engine calls it only on processors that have AVX2.
#include "engine/engine_kernels.h"

#if defined(__AVX2__)

#include <immintrin.h>

#include <algorithm>
#include <type_traits>

#include "engine/avx2_group_steps.h"
#include "engine/frame_math.h"

namespace flanger {
namespace {

// The channels of a chunk, with the mono and stereo cases' pointers held in registers.
struct ChannelPointers {
    float* Samples;  // the chunk's first frame
    float* Line;
    float* Written;  // where the chunk's first frame goes in the line
};

// Groups of eight frames (kGroupFrames); the positions formed from the linear sweep or loaded.
// kChannels is the number of channels, all present, or 0 for any number.
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
    const std::uint32_t channelCount = kChannels != 0 ? kChannels : run.Channels.Count;
    const double depth = run.DepthGain, feedback = run.FeedbackGain;
    const ChannelPointers first = channels[0], second = channels[1];
    // TapReadsAGroupAhead for a floor from 1 to RingLength + 1 in one comparison: the close
    // band runs from RingLength - kGroupFrames for a group's width, or to the end of the line
    // where the ring is too short for reading its oldest samples a group ahead.
    const std::int32_t closeBandStart = ringLength - kGroupFrames;
    const std::uint32_t closeBandWidth =
        ringLength >= kGroupFrames + 2 ? std::uint32_t{kGroupFrames} : 0x80000000u;
    const __m256d depthGain = _mm256_set1_pd(depth);
    const __m256d feedbackGain = _mm256_set1_pd(feedback);
    const __m256d one = _mm256_set1_pd(1.0);
    // A linear chunk's positions: LinearPosition of frames 0 to 7, then eight increments more
    // for each group. Every sum is a multiple of the spacing of doubles inside the binade the
    // chunk stays in, so each is exact and equals LinearPosition of its frame.
    const double increment = chunk.LinearIncrement;
    const __m256d groupStep = _mm256_set1_pd(8.0 * increment);
    __m256d linearLow =
        _mm256_add_pd(_mm256_set1_pd(chunk.LinearStart),
                      _mm256_mul_pd(_mm256_setr_pd(0.0, 1.0, 2.0, 3.0), _mm256_set1_pd(increment)));
    __m256d linearHigh =
        _mm256_add_pd(_mm256_set1_pd(chunk.LinearStart),
                      _mm256_mul_pd(_mm256_setr_pd(4.0, 5.0, 6.0, 7.0), _mm256_set1_pd(increment)));

    const bool scaled = chunk.Scaled;
    const __m256d amplitude = _mm256_set1_pd(chunk.ScaledAmplitude);
    const __m256d centre = _mm256_set1_pd(chunk.ScaledCentre);
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
    __m256d runFloorVector = _mm256_set1_pd(static_cast<double>(runFloor));

    // The sine's terms, where the chunk leaves them to the kernel (SweepChunk::FormsTerms):
    // formed a group ahead of the group that reads its positions, eight at a time, so that the
    // chain of each group's terms runs beside the arithmetic of the group before. Group i forms
    // the terms of frames i + 9 to i + 16; the first eight come before the groups.
    const bool formsTerms = !kLinear && chunk.FormsTerms;
    double* const terms = run.Chunk->Position + 1 + kGroupFrames;
    constexpr std::size_t kNoTerms = ~std::size_t{0};
    std::size_t formTermsAt = kNoTerms;  // the group that forms the next eight terms
    std::size_t lastFormedAt = 0;        // the last group that forms eight
    double termCurrent = 0.0, termPrevious = 0.0, termCoefficient = 0.0;
    const auto formEightTerms = [&](double* values) FLANGER_INLINE_LAMBDA {
        SineTerms(values, kGroupFrames, termCoefficient, termCurrent, termPrevious);
    };
    // The terms after the last eight, to the end of the chunk.
    const auto formLastTerms = [&](double* values) FLANGER_INLINE_LAMBDA {
        SineTerms(values, static_cast<std::uint32_t>(run.Chunk->Position + frames - values),
                  termCoefficient, termCurrent, termPrevious);
        formTermsAt = kNoTerms;
    };
    if constexpr (!kLinear) {
        if (formsTerms) {
            termCurrent = chunk.TermCurrent;
            termPrevious = chunk.TermPrevious;
            termCoefficient = chunk.TermCoefficient;
            if (frames < 1 + 2 * kGroupFrames) {
                formLastTerms(run.Chunk->Position + 1);
            } else {
                formEightTerms(run.Chunk->Position + 1);
                formTermsAt = 0;
                lastFormedAt = (frames - 1 - 2 * kGroupFrames) / kGroupFrames * kGroupFrames;
            }
        }
    }
    // Before group i reads its positions: then formed through the group after it.
    const auto formTermsAhead = [&](std::size_t i) FLANGER_INLINE_LAMBDA {
        if (i < formTermsAt) return;
        formEightTerms(terms + i);
        if (i == lastFormedAt) return formLastTerms(terms + i + kGroupFrames);
        formTermsAt += kGroupFrames;
    };

    // A group of the channels `firstChannel` and `secondChannel` (kChannels of them) with its
    // taps from `near` on, each half of it reading them before it writes: the delay is at least
    // half a group.
    const auto runHalvesOfGroupOf = [&](ChannelPointers firstChannel, ChannelPointers secondChannel,
                                        std::size_t i, std::ptrdiff_t near, __m256d positionLow,
                                        __m256d positionHigh) FLANGER_INLINE_LAMBDA {
        const __m256d fractionLow = _mm256_sub_pd(positionLow, runFloorVector);
        const __m256d fractionHigh = _mm256_sub_pd(positionHigh, runFloorVector);
        const __m256d restLow = _mm256_sub_pd(one, fractionLow);
        const __m256d restHigh = _mm256_sub_pd(one, fractionHigh);
        const auto runChannel = [&](ChannelPointers channel) FLANGER_INLINE_LAMBDA {
            float* const samples = channel.Samples + i;
            float* const written = channel.Written + i;
            const float* const taps = channel.Line + near;
            __m256d xLow, xHigh;
            LoadEightFinite(samples, xLow, xHigh);
            StoreHalvesOfGroup<kFeedbackOn>(samples, written, taps, xLow, xHigh, restLow,
                                            fractionLow, restHigh, fractionHigh, depthGain,
                                            feedbackGain);
        };
        runChannel(firstChannel);
        if constexpr (kChannels == 2) runChannel(secondChannel);
    };
    const auto runHalvesOfGroup = [&](std::size_t i, std::ptrdiff_t near, __m256d positionLow,
                                      __m256d positionHigh) FLANGER_INLINE_LAMBDA {
        runHalvesOfGroupOf(first, second, i, near, positionLow, positionHigh);
    };

    // The group from frame i on; where kPartial, the chunk's last frames, which do not fill one.
    // i is pointer-sized, so that the addresses need no widening.
    const auto runGroup = [&]<bool kPartial>(std::size_t i,
                                             std::bool_constant<kPartial>) FLANGER_INLINE_LAMBDA {
        const auto end = static_cast<std::uint32_t>(kPartial ? frames : i + 8);
        const std::size_t next = i + 8;
        __m256d positionLow, positionHigh;
        if constexpr (kLinear) {
            positionLow = linearLow;
            positionHigh = linearHigh;
            linearLow = _mm256_add_pd(linearLow, groupStep);
            linearHigh = _mm256_add_pd(linearHigh, groupStep);
        } else {
            formTermsAhead(i);
            positionLow = _mm256_load_pd(chunk.Position + i);
            positionHigh = _mm256_load_pd(chunk.Position + i + 4);
            if (scaled) {
                const __m256d first = positionLow;
                positionLow = _mm256_add_pd(_mm256_mul_pd(amplitude, positionLow), centre);
                positionHigh = _mm256_add_pd(_mm256_mul_pd(amplitude, positionHigh), centre);
                // The chunk's first frame holds its position itself.
                if (i == 0) positionLow = _mm256_blend_pd(positionLow, first, 1);
            }
        }
        // NaN and positions beyond the 32-bit range truncate to a negative integer.
        const __m128i dLow = _mm256_cvttpd_epi32(positionLow);
        const __m128i dHigh = _mm256_cvttpd_epi32(positionHigh);
        const std::int32_t d = _mm_cvtsi128_si32(dLow);
        bool oneFloor;
        if constexpr (kLinear) {
            // Linear positions are ordered: the first and last floor bound the others.
            oneFloor = d == _mm_extract_epi32(dHigh, 3);
        } else {
            const __m128i first = _mm_set1_epi32(d);
            oneFloor = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi32(dLow, first),
                                                       _mm_cmpeq_epi32(dHigh, first))) == 0xFFFF;
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
                runFloorVector = _mm256_set1_pd(static_cast<double>(d));
            }
        }
        if (near < 0) {
            if (kPartial || !kGatherGroups ||
                !GatheredGroup<kFeedbackOn>(run, static_cast<std::uint32_t>(i), positionLow,
                                            positionHigh, dLow, dHigh)) {
                RunFramesOneByOne<kFeedbackOn>(run, static_cast<std::uint32_t>(i), end);
            }
            return next;
        }
        const std::int32_t delay = runDelay;
        if (kPartial && delay <= kGroupFrames) {
            RunFramesOneByOne<kFeedbackOn>(run, static_cast<std::uint32_t>(i), end);
            return next;
        }
        if constexpr (kLinear && !kPartial && kChannels != 0) {
            if (delay > 4) {
                runHalvesOfGroup(i, near, positionLow, positionHigh);
                // The run goes on in a loop of its own: a later group of a linear chunk keeps
                // the floor where its last frame does, since the positions are ordered.
                std::size_t later = next;
                while (runGroupsLeft > 0 && later + 8 <= frames &&
                       _mm_extract_epi32(_mm256_cvttpd_epi32(linearHigh), 3) == d) {
                    --runGroupsLeft;
                    runNear += kGroupFrames;
                    runHalvesOfGroup(later, runNear, linearLow, linearHigh);
                    linearLow = _mm256_add_pd(linearLow, groupStep);
                    linearHigh = _mm256_add_pd(linearHigh, groupStep);
                    later += 8;
                }
                return later;
            }
        }
        if constexpr (!kLinear && !kPartial && kChannels != 0) {
            if (delay > 4) {
                runHalvesOfGroup(i, near, positionLow, positionHigh);
                // The run goes on in a loop of its own while every floor stays d, as far as the
                // run and the chunk reach, counted once before it.
                const __m128i floors = _mm_set1_epi32(d);
                const std::size_t groupsInChunk = (frames - next) / kGroupFrames;
                const auto groupsInRun = static_cast<std::size_t>(runGroupsLeft);
                const std::size_t end =
                    next +
                    kGroupFrames * (groupsInRun < groupsInChunk ? groupsInRun : groupsInChunk);
                // The channels from this group on, the lines from its near tap on: a later
                // group's frames and taps lie as far beyond these.
                const ChannelPointers firstFromHere{first.Samples + i, first.Line + near,
                                                    first.Written + i};
                ChannelPointers secondFromHere{};
                if constexpr (kChannels == 2) {
                    secondFromHere = {second.Samples + i, second.Line + near, second.Written + i};
                }
                const auto runSameFloor = [&](auto scaledTerms) FLANGER_INLINE_LAMBDA {
                    // The group from `later` on; false, doing nothing, where a floor is not d.
                    const auto runGroupOfRun = [&](std::size_t later) FLANGER_INLINE_LAMBDA {
                        __m256d low = _mm256_load_pd(chunk.Position + later);
                        __m256d high = _mm256_load_pd(chunk.Position + later + 4);
                        if constexpr (decltype(scaledTerms)::value) {
                            low = _mm256_add_pd(_mm256_mul_pd(amplitude, low), centre);
                            high = _mm256_add_pd(_mm256_mul_pd(amplitude, high), centre);
                        }
                        const __m128i same =
                            _mm_and_si128(_mm_cmpeq_epi32(_mm256_cvttpd_epi32(low), floors),
                                          _mm_cmpeq_epi32(_mm256_cvttpd_epi32(high), floors));
                        if (_mm_movemask_epi8(same) != 0xFFFF) return false;
                        const std::size_t beyond = later - i;
                        runHalvesOfGroupOf(firstFromHere, secondFromHere, beyond,
                                           static_cast<std::ptrdiff_t>(beyond), low, high);
                        return true;
                    };
                    // Up to the last group that forms eight terms, each group forms the next
                    // eight without asking formTermsAhead, whose next group it is.
                    const std::size_t formingEnd = formTermsAt == next && lastFormedAt > next
                                                       ? (lastFormedAt < end ? lastFormedAt : end)
                                                       : next;
                    std::size_t later = next;
                    for (; later != formingEnd; later += 8) {
                        formEightTerms(terms + later);
                        formTermsAt = later + kGroupFrames;
                        if (!runGroupOfRun(later)) return later;
                    }
                    for (; later != end; later += 8) {
                        formTermsAhead(later);
                        if (!runGroupOfRun(later)) break;
                    }
                    return later;
                };
                const std::size_t later =
                    scaled ? runSameFloor(std::true_type{}) : runSameFloor(std::false_type{});
                const auto advanced = static_cast<std::int32_t>(later - next);
                runGroupsLeft -= advanced / kGroupFrames;
                runNear += advanced;
                return later;
            }
        }
        // Truncation is floor here, and the floor is d in every frame.
        const __m256d floor = runFloorVector;
        const __m256d fractionLow = _mm256_sub_pd(positionLow, floor);
        const __m256d fractionHigh = _mm256_sub_pd(positionHigh, floor);
        const __m256d restLow = _mm256_sub_pd(one, fractionLow);
        const __m256d restHigh = _mm256_sub_pd(one, fractionHigh);
        alignas(32) double fraction[8], rest[8];
        if (delay <= 4) {
            _mm256_store_pd(fraction, fractionLow);
            _mm256_store_pd(fraction + 4, fractionHigh);
            _mm256_store_pd(rest, restLow);
            _mm256_store_pd(rest + 4, restHigh);
        }
        const auto runChannelOn = [&](float* samples, const float* taps,
                                      float* written) FLANGER_INLINE_LAMBDA {
            if (delay == 0) {
                // Taps ahead of the writes yet inside the group: frame by frame.
                RunConsecutiveFramesOneByOne<kFeedbackOn>(samples, taps, written, fraction, rest,
                                                          depth, feedback);
                return;
            }
            __m256d xLow, xHigh;
            LoadEightFinite(samples, xLow, xHigh);
            if (delay > 4) {
                // Each half reads at most what the half before it wrote.
                StoreHalvesOfGroup<kFeedbackOn>(samples, written, taps, xLow, xHigh, restLow,
                                                fractionLow, restHigh, fractionHigh, depthGain,
                                                feedbackGain);
            } else if constexpr (kFeedbackOn) {
                if (delay <= 2) {
                    // Each frame reads what the one before it wrote.
                    RunConsecutiveFramesOneByOne<kFeedbackOn>(samples, taps, written, fraction,
                                                              rest, depth, feedback);
                    return;
                }
                alignas(32) double x[8];
                _mm256_store_pd(x, xLow);
                _mm256_store_pd(x + 4, xHigh);
                RunConsecutivePairs(samples, taps, written, x, fraction, rest, depth, feedback);
            } else {
                // Without feedback the line receives the input, which is known before any tap
                // is read: written first, the taps read the line as each frame would find it,
                // except the far taps of a one-frame delay, which read the samples their own
                // frames overwrite.
                __m256d farLow = _mm256_setzero_pd(), farHigh = _mm256_setzero_pd();
                if (delay == 1) {
                    farLow = _mm256_cvtps_pd(_mm_loadu_ps(taps + 1));
                    farHigh = _mm256_cvtps_pd(_mm_loadu_ps(taps + 5));
                }
                StoreFour(written, xLow);
                StoreFour(written + 4, xHigh);
                if (delay != 1) {
                    farLow = _mm256_cvtps_pd(_mm_loadu_ps(taps + 1));
                    farHigh = _mm256_cvtps_pd(_mm_loadu_ps(taps + 5));
                }
                const __m256d yLow =
                    _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(taps)), restLow),
                                  _mm256_mul_pd(farLow, fractionLow));
                const __m256d yHigh =
                    _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(taps + 4)), restHigh),
                                  _mm256_mul_pd(farHigh, fractionHigh));
                StoreFour(samples, _mm256_add_pd(xLow, _mm256_mul_pd(yLow, depthGain)));
                StoreFour(samples + 4, _mm256_add_pd(xHigh, _mm256_mul_pd(yHigh, depthGain)));
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
        if constexpr (kFeedbackOn && kChannels == 2 && !kPartial) {
            if (delay == 1) {
                RunCloseStereoGroup<1>(first.Samples + i, first.Written + i, second.Samples + i,
                                       second.Written + i, fraction, rest, depth, feedback);
                return next;
            }
            if (delay == 2) {
                RunCloseStereoGroup<2>(first.Samples + i, first.Written + i, second.Samples + i,
                                       second.Written + i, fraction, rest, depth, feedback);
                return next;
            }
        }
        if constexpr (kChannels == 0) {
            for (std::uint32_t j = 0; j < channelCount; ++j) {
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
    if constexpr (!kLinear) {
        if (formsTerms) {
            while (formTermsAt != kNoTerms) formTermsAhead(formTermsAt);
            run.Chunk->TermCurrent = termCurrent;
            run.Chunk->TermPrevious = termPrevious;
        }
    }
    // Only a chunk of whole groups leaves its run to the next: after a part of a group, the
    // next chunk's groups start elsewhere.
    if constexpr (kLinear) {
        carried = GroupRun{-1, ringLength, runFloor, runNear, runGroupsLeft, runDelay};
        if (i == frames) carried.NextWrite = writeIndex + static_cast<std::int32_t>(frames);
    }
    if (i < frames) {
        if constexpr (!kLinear) {
            // The frames beyond the chunk take its last position, so that the group takes the
            // path its frames inside the chunk would. A loop, not std::fill: unoptimised, the
            // library's copy compiled here for AVX2 could be the one every file links.
            const double last = run.Chunk->Position[frames - 1];
            for (std::size_t k = frames; k < i + 8; ++k) run.Chunk->Position[k] = last;
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

constexpr EngineKernels kAvx2{InstructionSet::Avx2, RunChunk, SineTerms, true};

}  // namespace

const EngineKernels* Avx2Kernels() { return &kAvx2; }

}  // namespace flanger

#else

namespace flanger {
const EngineKernels* Avx2Kernels() { return nullptr; }
}  // namespace flanger

#endif
