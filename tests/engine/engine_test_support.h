// Helpers shared by the engine tests: building an engine from reference parameters and feeding
// it buffers the way the module does.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "engine/flanger_engine.h"
#include "reference_flanger.h"

namespace flanger::testing {

inline std::unique_ptr<FlangerEngine> OpenEngine(const ReferenceParameters& p,
                                                 std::uint32_t sampleRate,
                                                 std::uint16_t channels) {
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
