// Helpers shared by the engine tests: building an engine from reference parameters and feeding
// it buffers the way the module does.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/flanger_engine.h"
#include "reference_flanger.h"

namespace flanger::testing {

inline std::unique_ptr<FlangerEngine> OpenEngine(const ReferenceParameters& p,
                                                 std::uint32_t sampleRate, std::uint16_t channels) {
    auto engine = std::make_unique<FlangerEngine>();
    engine->DepthGain = p.depthGain;
    engine->DelayMs = p.delayMs;
    engine->WidthMs = p.widthMs;
    engine->SineMode = p.sineMode;
    engine->FeedbackOn = p.feedbackOn;
    engine->FeedbackGain = p.feedbackGain;
    engine->SpeedHz = p.speedHz;
    StreamFormat format{1, channels, sampleRate};
    engine->Open(format);
    return engine;
}

// Hands `frameCount` frames starting at `offset` of each channel to the engine as one buffer.
inline void ProcessSpan(FlangerEngine& engine, std::vector<std::vector<float>>& channels,
                        std::size_t offset, std::uint32_t frameCount) {
    std::vector<float*> pointers;
    for (auto& channel : channels) pointers.push_back(channel.data() + offset);
    StreamBuffer buffer{};
    buffer.ChannelsBegin = pointers.empty() ? nullptr : pointers.data();
    buffer.ChannelsEnd = buffer.ChannelsBegin + pointers.size();
    buffer.ChannelsCapacityEnd = buffer.ChannelsEnd;
    buffer.FrameCount = frameCount;
    engine.Process(buffer);
}

using Channels = std::vector<std::vector<float>>;

// Calls `process(offset, size)` over `frames` frames in buffers of the sizes `sizes`, repeated.
template <typename Process>
void InBuffersOf(const std::vector<std::uint32_t>& sizes, std::size_t frames, Process process) {
    std::size_t offset = 0;
    for (std::size_t k = 0; offset < frames; ++k) {
        const auto size = static_cast<std::uint32_t>(
            std::min<std::size_t>(sizes[k % sizes.size()], frames - offset));
        process(offset, size);
        offset += size;
    }
}

// Bit for bit, except that any NaN matches any NaN: which of two NaN operands an operation passes
// on depends on the order the compiler puts them in, even in plain scalar code.
inline bool SameValue(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// Every sample from frame `from` on; names the first that differs.
inline void ExpectSameBits(const Channels& actual, const Channels& expected,
                           const std::string& what, std::size_t from = 0) {
    for (std::size_t j = 0; j < expected.size(); ++j) {
        for (std::size_t i = from; i < expected[j].size(); ++i) {
            if (!SameValue(actual[j][i], expected[j][i])) {
                FAIL() << what << ": channel " << j << " frame " << i << ": " << actual[j][i]
                       << " expected " << expected[j][i];
            }
        }
    }
}

inline const char* InstructionSetName(InstructionSet set) {
    switch (set) {
        case InstructionSet::Portable:
            return "portable";
        case InstructionSet::Sse2:
            return "sse2";
        case InstructionSet::Avx2:
            return "avx2";
    }
    return "unknown";
}

// Every set the engine knows; a test skips those the processor lacks, saying so.
inline std::vector<InstructionSet> AllInstructionSets() {
    return {InstructionSet::Portable, InstructionSet::Sse2, InstructionSet::Avx2};
}

inline std::vector<std::vector<float>> WhiteNoise(std::size_t channels, std::size_t frames,
                                                  std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<std::vector<float>> result(channels, std::vector<float>(frames));
    for (auto& channel : result) {
        for (float& value : channel) value = sample(random);
    }
    return result;
}

}  // namespace flanger::testing
