// The AVX2 kernels: four doubles per operation and the taps gathered four at a time. This file
// alone is compiled for AVX2 (without FMA, which would fuse the multiply-adds and change their
// rounding); the engine calls it only on processors that have AVX2.
#include "engine/engine_kernels.h"

#if defined(__AVX2__)

#include <immintrin.h>

#include "engine/frame_math.h"

#define FLANGER_INLINE inline __attribute__((always_inline))

namespace flanger {
namespace {

double Lowest(__m256d values) {
    const __m128d pairs =
        _mm_min_pd(_mm256_castpd256_pd128(values), _mm256_extractf128_pd(values, 1));
    return _mm_cvtsd_f64(_mm_min_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
}

double Highest(__m256d values) {
    const __m128d pairs =
        _mm_max_pd(_mm256_castpd256_pd128(values), _mm256_extractf128_pd(values, 1));
    return _mm_cvtsd_f64(_mm_max_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
}

// Eight frames at a time: two vectors of positions give one vector of eight ring positions.
bool PrepareTaps(SweepChunk& chunk, std::uint32_t frames, std::int32_t writeIndex,
                 std::int32_t ringLength) {
    if (frames < 8) return PrepareTapsApart(chunk, frames, writeIndex, ringLength);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256i ring = _mm256_set1_epi32(ringLength);
    const __m256i lastPosition = _mm256_set1_epi32(ringLength - 1);
    const __m256i ones = _mm256_set1_epi32(1);
    const __m256i eight = _mm256_set1_epi32(8);
    __m256i writePosition =
        _mm256_add_epi32(_mm256_set1_epi32(writeIndex), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    // NaN and positions beyond the 32-bit range truncate to the negative "indefinite" integer,
    // which the sign bits collect; the extremes catch the rest outside the lines, among them
    // the positions just below 0, which truncate to 0 where their floor is -1.
    __m256i signs = _mm256_setzero_si256();
    __m256d lowest = _mm256_load_pd(chunk.Position);
    __m256d highest = lowest;

    std::uint32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        const __m256d posLow = _mm256_load_pd(chunk.Position + i);
        const __m256d posHigh = _mm256_load_pd(chunk.Position + i + 4);
        lowest = _mm256_min_pd(_mm256_min_pd(posLow, posHigh), lowest);
        highest = _mm256_max_pd(_mm256_max_pd(posLow, posHigh), highest);
        // Truncation equals floor for the positions inside the lines.
        const __m128i dLow = _mm256_cvttpd_epi32(posLow);
        const __m128i dHigh = _mm256_cvttpd_epi32(posHigh);
        const __m256d fLow = _mm256_sub_pd(posLow, _mm256_cvtepi32_pd(dLow));
        const __m256d fHigh = _mm256_sub_pd(posHigh, _mm256_cvtepi32_pd(dHigh));
        _mm256_store_pd(chunk.Fraction + i, fLow);
        _mm256_store_pd(chunk.Fraction + i + 4, fHigh);
        _mm256_store_pd(chunk.Rest + i, _mm256_sub_pd(one, fLow));
        _mm256_store_pd(chunk.Rest + i + 4, _mm256_sub_pd(one, fHigh));

        const __m256i d = _mm256_inserti128_si256(_mm256_castsi128_si256(dLow), dHigh, 1);
        signs = _mm256_or_si256(signs, d);
        __m256i p = _mm256_add_epi32(d, writePosition);
        p = _mm256_sub_epi32(p, _mm256_and_si256(_mm256_cmpgt_epi32(p, lastPosition), ring));
        __m256i q = _mm256_add_epi32(p, ones);
        q = _mm256_andnot_si256(_mm256_cmpgt_epi32(q, lastPosition), q);
        _mm256_store_si256(reinterpret_cast<__m256i*>(chunk.Near + i), p);
        _mm256_store_si256(reinterpret_cast<__m256i*>(chunk.Far + i), q);
        writePosition = _mm256_add_epi32(writePosition, eight);
    }
    const bool inside = _mm256_movemask_ps(_mm256_castsi256_ps(signs)) == 0;
    return FinishTaps(chunk, i, frames, writeIndex, ringLength, inside, Lowest(lowest),
                      Highest(highest));
}

// line[position] of four positions, widened to doubles.
FLANGER_INLINE __m256d Gather(const float* line, const std::int32_t* positions) {
    const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(positions));
    return _mm256_cvtps_pd(_mm_i32gather_ps(line, index, 4));
}

// The delayed signal of frames i to i + 3: line[p] (1 - f) + line[q] f.
FLANGER_INLINE __m256d Delayed(const float* line, const SweepChunk& chunk, std::uint32_t i) {
    const __m256d near = Gather(line, chunk.Near + i);
    const __m256d far = Gather(line, chunk.Far + i);
    return _mm256_add_pd(_mm256_mul_pd(near, _mm256_load_pd(chunk.Rest + i)),
                         _mm256_mul_pd(far, _mm256_load_pd(chunk.Fraction + i)));
}

// Eight input samples, a NaN or infinite one taken as 0, widened to two vectors of doubles.
FLANGER_INLINE void LoadEightFinite(const float* source, __m256d& low, __m256d& high) {
    const __m256i exponent = _mm256_set1_epi32(static_cast<int>(kNonFiniteExponent));
    const __m256 samples = _mm256_loadu_ps(source);
    const __m256i notFinite = _mm256_cmpeq_epi32(
        _mm256_and_si256(_mm256_castps_si256(samples), exponent), exponent);
    const __m256 finite = _mm256_andnot_ps(_mm256_castsi256_ps(notFinite), samples);
    low = _mm256_cvtps_pd(_mm256_castps256_ps128(finite));
    high = _mm256_cvtps_pd(_mm256_extractf128_ps(finite, 1));
}

FLANGER_INLINE void StoreFour(float* target, __m256d values) {
    _mm_storeu_ps(target, _mm256_cvtpd_ps(values));
}

template <bool kFeedbackOn>
void Run(const ChannelRun& run) {
    // Locals: the vector stores may alias anything, so fields would be read again after each.
    float* const samples = run.Samples;
    float* const line = run.Line;
    float* const written = run.Line + run.WriteIndex;
    const SweepChunk& chunk = *run.Chunk;
    const std::uint32_t frames = run.Frames;
    const __m256d depthGain = _mm256_set1_pd(run.DepthGain);
    const __m256d feedbackGain = _mm256_set1_pd(run.FeedbackGain);
    std::uint32_t i = 0;
    for (; i + 8 <= frames; i += 8) {
        // All eight taps are read before the eight frames are written.
        const __m256d yLow = Delayed(line, chunk, i);
        const __m256d yHigh = Delayed(line, chunk, i + 4);
        __m256d xLow, xHigh;
        LoadEightFinite(samples + i, xLow, xHigh);
        StoreFour(samples + i, _mm256_add_pd(xLow, _mm256_mul_pd(yLow, depthGain)));
        StoreFour(samples + i + 4, _mm256_add_pd(xHigh, _mm256_mul_pd(yHigh, depthGain)));
        if constexpr (kFeedbackOn) {
            StoreFour(written + i, _mm256_add_pd(xLow, _mm256_mul_pd(yLow, feedbackGain)));
            StoreFour(written + i + 4, _mm256_add_pd(xHigh, _mm256_mul_pd(yHigh, feedbackGain)));
        } else {
            StoreFour(written + i, xLow);
            StoreFour(written + i + 4, xHigh);
        }
    }
    for (; i < frames; ++i) RunFrame<kFeedbackOn>(run, i);
}

constexpr EngineKernels kAvx2{InstructionSet::Avx2, PrepareTaps, Run<true>, Run<false>};

}  // namespace

const EngineKernels* Avx2Kernels() { return &kAvx2; }

}  // namespace flanger

#else

namespace flanger {
const EngineKernels* Avx2Kernels() { return nullptr; }
}  // namespace flanger

#endif
