// The AVX2 kernel's steps for part of a group: input samples loaded and taken as silence where
// not finite, outputs stored, the delayed signal of consecutive taps, a group in pairs, and a
// group with its taps gathered. Included only by kernels_avx2.cpp, the one file compiled for
// AVX2; internal linkage keeps these copies there (see frame_math.h).
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "engine/engine_kernels.h"
#include "engine/frame_math.h"

#define FLANGER_INLINE inline __attribute__((always_inline))
#define FLANGER_INLINE_LAMBDA __attribute__((always_inline))

namespace flanger {
namespace {

// Eight input samples, a NaN or infinite one taken as 0: x - x is 0 for a finite x and NaN
// for any other, which the ordered comparison tells apart without a constant to hold.
FLANGER_INLINE __m256 LoadEightFiniteFloats(const float* source) {
    const __m256 samples = _mm256_loadu_ps(source);
    const __m256 difference = _mm256_sub_ps(samples, samples);
    return _mm256_and_ps(_mm256_cmp_ps(difference, difference, _CMP_ORD_Q), samples);
}

// LoadEightFiniteFloats widened to two vectors of doubles.
FLANGER_INLINE void LoadEightFinite(const float* source, __m256d& low, __m256d& high) {
    const __m256 finite = LoadEightFiniteFloats(source);
    low = _mm256_cvtps_pd(_mm256_castps256_ps128(finite));
    high = _mm256_cvtps_pd(_mm256_extractf128_ps(finite, 1));
}

FLANGER_INLINE void StoreFour(float* target, __m256d values) {
    _mm_storeu_ps(target, _mm256_cvtpd_ps(values));
}

// The delayed signal of four frames whose near taps are taps[0..3] and far taps taps[1..4].
FLANGER_INLINE __m256d DelayedFromFour(const float* taps, __m256d rest, __m256d fraction) {
    return _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(taps)), rest),
                         _mm256_mul_pd(_mm256_cvtps_pd(_mm_loadu_ps(taps + 1)), fraction));
}

// Four frames' output over their input `x` and into the line, from their delayed signal `y`.
template <bool kFeedbackOn>
FLANGER_INLINE void StoreFourFrames(float* samples, float* written, __m256d x, __m256d y,
                                    __m256d depthGain, __m256d feedbackGain) {
    StoreFour(samples, _mm256_add_pd(x, _mm256_mul_pd(y, depthGain)));
    // The line receives the input, never the output.
    if constexpr (kFeedbackOn) {
        StoreFour(written, _mm256_add_pd(x, _mm256_mul_pd(y, feedbackGain)));
    } else {
        StoreFour(written, x);
    }
}

// A group of eight frames over consecutive taps from `taps`, the first half read and written
// before the second.
template <bool kFeedbackOn>
FLANGER_INLINE void StoreHalvesOfGroup(float* samples, float* written, const float* taps,
                                       __m256d xLow, __m256d xHigh, __m256d restLow,
                                       __m256d fractionLow, __m256d restHigh, __m256d fractionHigh,
                                       __m256d depthGain, __m256d feedbackGain) {
    StoreFourFrames<kFeedbackOn>(samples, written, xLow,
                                 DelayedFromFour(taps, restLow, fractionLow), depthGain,
                                 feedbackGain);
    StoreFourFrames<kFeedbackOn>(samples + 4, written + 4, xHigh,
                                 DelayedFromFour(taps + 4, restHigh, fractionHigh), depthGain,
                                 feedbackGain);
}

// Two floats from memory that may be any type's, widened to doubles.
FLANGER_INLINE __m128d LoadTwo(const float* source) {
    return _mm_cvtps_pd(
        _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source))));
}

FLANGER_INLINE void StoreTwo(float* target, __m128d values) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(target), _mm_castps_si128(_mm_cvtpd_ps(values)));
}

// One channel's group of eight frames with feedback, over consecutive taps whose near one lies
// three or four frames behind its frame: in pairs, each reading what the pairs before wrote.
// `x` holds the group's input, `rest` and `fraction` its weights.
FLANGER_INLINE void RunConsecutivePairs(float* samples, const float* taps, float* written,
                                        const double* x, const double* fraction, const double* rest,
                                        double depth, double feedback) {
    const __m128d depthGain = _mm_set1_pd(depth);
    const __m128d feedbackGain = _mm_set1_pd(feedback);
    for (std::int32_t k = 0; k < kGroupFrames; k += 2) {
        const __m128d y = _mm_add_pd(_mm_mul_pd(LoadTwo(taps + k), _mm_load_pd(rest + k)),
                                     _mm_mul_pd(LoadTwo(taps + k + 1), _mm_load_pd(fraction + k)));
        const __m128d input = _mm_load_pd(x + k);
        StoreTwo(samples + k, _mm_add_pd(input, _mm_mul_pd(y, depthGain)));
        StoreTwo(written + k, _mm_add_pd(input, _mm_mul_pd(y, feedbackGain)));
    }
}

// Where frame k's pair lies in the sixteen floats InterleaveEight stores: the in-lane unpacks
// leave frames 0, 1, 4, 5 in the first eight and frames 2, 3, 6, 7 in the second.
constexpr int PairOffset(int k) { return (k & 1) * 2 + (k & 2) * 4 + (k & 4); }

// Eight frames of two channels, `a` and `b`, as eight pairs of floats (see PairOffset).
FLANGER_INLINE void InterleaveEight(__m256 a, __m256 b, float* pairs) {
    _mm256_store_ps(pairs, _mm256_unpacklo_ps(a, b));
    _mm256_store_ps(pairs + 8, _mm256_unpackhi_ps(a, b));
}

// The pairs of InterleaveEight back into eight frames of each channel.
FLANGER_INLINE void StoreEachOfEight(const float* pairs, float* a, float* b) {
    const __m256 low = _mm256_load_ps(pairs), high = _mm256_load_ps(pairs + 8);
    _mm256_storeu_ps(a, _mm256_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
    _mm256_storeu_ps(b, _mm256_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
}

// Both channels' group of eight frames with feedback, over consecutive taps kDelay (1 or 2)
// frames behind the frames that read them: each frame reads what the one before it writes. The
// two channels side by side in one vector, with the arithmetic of RunConsecutiveFramesOneByOne;
// a frame's taps written inside the group are taken from the frames before it as they are
// formed, so that only the samples the group finds in the lines are loaded, and the group's
// outputs and line samples are stored once it has formed them all.
template <std::int32_t kDelay>
FLANGER_INLINE void RunCloseStereoGroup(float* samples0, float* written0, float* samples1,
                                        float* written1, const double* fraction, const double* rest,
                                        double depth, double feedback) {
    static_assert(kDelay == 1 || kDelay == 2);
    const __m128d depthGain = _mm_set1_pd(depth);
    const __m128d feedbackGain = _mm_set1_pd(feedback);
    const auto pairAt = [](const float* first, const float* second) FLANGER_INLINE_LAMBDA {
        return _mm_cvtps_pd(_mm_insert_ps(_mm_load_ss(first), _mm_load_ss(second), 0x10));
    };
    // Two floats beyond each group of pairs, which the loads of the last pair read and leave.
    alignas(32) float input[18], output[16], line[16], oldLine[18];
    // A pair of floats widened to doubles; the widening reads only the first two of the four.
    const auto pairFrom = [](const float* pairs)
                              FLANGER_INLINE_LAMBDA { return _mm_cvtps_pd(_mm_loadu_ps(pairs)); };
    InterleaveEight(LoadEightFiniteFloats(samples0), LoadEightFiniteFloats(samples1), input);
    // The near tap of frame 0; with a delay of 2 its far tap too, and with a delay of 1 every
    // frame's far tap, which the frame itself is about to write over.
    __m128d near = pairAt(written0 - kDelay, written1 - kDelay);
    __m128d far = _mm_setzero_pd();
    if constexpr (kDelay == 2) {
        far = pairAt(written0 - 1, written1 - 1);
    } else {
        InterleaveEight(_mm256_loadu_ps(written0), _mm256_loadu_ps(written1), oldLine);
    }
#pragma GCC unroll 8
    for (int k = 0; k < kGroupFrames; ++k) {
        if constexpr (kDelay == 1) far = pairFrom(oldLine + PairOffset(k));
        const __m128d x = pairFrom(input + PairOffset(k));
        const __m128d y = _mm_add_pd(_mm_mul_pd(near, _mm_set1_pd(rest[k])),
                                     _mm_mul_pd(far, _mm_set1_pd(fraction[k])));
        const __m128 written = _mm_cvtpd_ps(_mm_add_pd(x, _mm_mul_pd(y, feedbackGain)));
        _mm_storel_pi(reinterpret_cast<__m64*>(output + PairOffset(k)),
                      _mm_cvtpd_ps(_mm_add_pd(x, _mm_mul_pd(y, depthGain))));
        _mm_storel_pi(reinterpret_cast<__m64*>(line + PairOffset(k)), written);
        // The next frame's taps: the sample this frame wrote is its far tap (delay 2) or its
        // near tap (delay 1).
        if constexpr (kDelay == 2) {
            near = far;
            far = _mm_cvtps_pd(written);
        } else {
            near = _mm_cvtps_pd(written);
        }
    }
    StoreEachOfEight(output, samples0, samples1);
    StoreEachOfEight(line, written0, written1);
}

// Built for 32-bit x86 by GCC 12 at -O2, the gathered groups read wrong taps (the i386 tests
// show it; unoptimised they are right), so there those groups go frame by frame.
constexpr bool kGatherGroups = sizeof(void*) == 8;

// A group of eight frames whose floors differ or whose taps wrap around the ring, with its taps
// gathered: when every position lies inside the lines at least a group behind the writes,
// runs every channel over the group and returns true; otherwise returns false, doing nothing.
template <bool kFeedbackOn>
bool GatheredGroup(const ChunkRun& run, std::uint32_t i, __m256d positionLow, __m256d positionHigh,
                   __m128i dLow, __m128i dHigh) {
    const std::int32_t ringLength = run.RingLength;
    const __m256i d = _mm256_inserti128_si256(_mm256_castsi128_si256(dLow), dHigh, 1);
    // Floors from 1 to RingLength + 1 (which also refuses NaN and positions below 1, where
    // truncation may not be floor), and either more than a group behind the write position or
    // reading the oldest samples of a ring long enough (TapReadsAGroupAhead).
    const __m256i lastPosition = _mm256_set1_epi32(ringLength - 1);
    const __m256i positive = _mm256_cmpgt_epi32(d, _mm256_setzero_si256());
    const __m256i belowTop = _mm256_cmpgt_epi32(_mm256_set1_epi32(ringLength + 2), d);
    const __m256i farBehind = _mm256_cmpgt_epi32(_mm256_set1_epi32(ringLength - kGroupFrames), d);
    const __m256i oldest = ringLength >= kGroupFrames + 2 ? _mm256_cmpgt_epi32(d, lastPosition)
                                                          : _mm256_setzero_si256();
    const __m256i fits =
        _mm256_and_si256(_mm256_and_si256(positive, belowTop), _mm256_or_si256(farBehind, oldest));
    if (_mm256_movemask_epi8(fits) != -1) return false;

    const __m256i ring = _mm256_set1_epi32(ringLength);
    const __m256i writePosition =
        _mm256_add_epi32(_mm256_set1_epi32(run.WriteIndex + static_cast<std::int32_t>(i)),
                         _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    __m256i p = _mm256_add_epi32(d, writePosition);
    p = _mm256_sub_epi32(p, _mm256_and_si256(_mm256_cmpgt_epi32(p, lastPosition), ring));
    __m256i q = _mm256_add_epi32(p, _mm256_set1_epi32(1));
    q = _mm256_andnot_si256(_mm256_cmpgt_epi32(q, lastPosition), q);
    const __m256d fractionLow = _mm256_sub_pd(positionLow, _mm256_cvtepi32_pd(dLow));
    const __m256d fractionHigh = _mm256_sub_pd(positionHigh, _mm256_cvtepi32_pd(dHigh));
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d restLow = _mm256_sub_pd(one, fractionLow);
    const __m256d restHigh = _mm256_sub_pd(one, fractionHigh);
    const __m256d depthGain = _mm256_set1_pd(run.DepthGain);
    const __m256d feedbackGain = _mm256_set1_pd(run.FeedbackGain);
    for (std::uint32_t j = 0; j < run.Channels.Count; ++j) {
        if (run.Channels.Samples[j] == nullptr) continue;
        float* const samples = run.Channels.Samples[j] + run.Channels.Offset + i;
        float* const line = run.Channels.Lines[j];
        float* const written = line + run.WriteIndex + static_cast<std::int32_t>(i);
        const __m256 near = _mm256_i32gather_ps(line, p, 4);
        const __m256 far = _mm256_i32gather_ps(line, q, 4);
        const __m256d yLow =
            _mm256_add_pd(_mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(near)), restLow),
                          _mm256_mul_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(far)), fractionLow));
        const __m256d yHigh = _mm256_add_pd(
            _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(near, 1)), restHigh),
            _mm256_mul_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(far, 1)), fractionHigh));
        __m256d xLow, xHigh;
        LoadEightFinite(samples, xLow, xHigh);
        StoreFourFrames<kFeedbackOn>(samples, written, xLow, yLow, depthGain, feedbackGain);
        StoreFourFrames<kFeedbackOn>(samples + 4, written + 4, xHigh, yHigh, depthGain,
                                     feedbackGain);
    }
    return true;
}

}  // namespace
}  // namespace flanger
