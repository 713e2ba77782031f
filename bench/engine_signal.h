// A block-wise feed of white noise for the engine's speed measurements: the engine works in
// place, so each pass over the noise starts from a pristine copy (processed audio fed back in
// again would grow without bound and end in infinities).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/flanger_engine.h"

namespace flanger::bench {

class NoiseFeed {
public:
    NoiseFeed(std::uint32_t channels, std::uint32_t frames)
        : pristine(channels, std::vector<float>(frames)), work(pristine), pointers(channels) {
        std::mt19937 random(1);
        std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
        for (auto& channel : pristine) {
            for (float& value : channel) value = sample(random);
        }
        work = pristine;
    }

    // The next block of `frames` frames of every channel, as the host's buffer record.
    StreamBuffer Next(std::uint32_t frames) {
        if (offset + frames > pristine[0].size()) {
            for (std::size_t j = 0; j < work.size(); ++j) {
                std::memcpy(work[j].data(), pristine[j].data(), work[j].size() * sizeof(float));
            }
            offset = 0;
        }
        for (std::size_t j = 0; j < work.size(); ++j) pointers[j] = work[j].data() + offset;
        offset += frames;
        StreamBuffer buffer{};
        buffer.ChannelsBegin = pointers.data();
        buffer.ChannelsEnd = pointers.data() + pointers.size();
        buffer.ChannelsCapacityEnd = buffer.ChannelsEnd;
        buffer.FrameCount = frames;
        return buffer;
    }

private:
    std::vector<std::vector<float>> pristine;
    std::vector<std::vector<float>> work;
    std::vector<float*> pointers;
    std::size_t offset = 0;
};

// An engine at the settings record's defaults (depth 0.9, delay and width 5 ms, speed 0.1 Hz,
// feedback 0.1) in the given sweep and feedback mode, opened for the format.
inline std::unique_ptr<FlangerEngine> DefaultEngine(bool sine, bool feedback,
                                                    std::uint16_t channels,
                                                    std::uint32_t sampleRate) {
    auto engine = std::make_unique<FlangerEngine>();
    engine->DepthGain = 0.9;
    engine->DelayMs = 5.0;
    engine->WidthMs = 5.0;
    engine->SpeedHz = 0.1;
    engine->SineMode = sine;
    engine->FeedbackOn = feedback;
    engine->FeedbackGain = feedback ? 0.1 : 0.0;
    engine->Open(StreamFormat{3, channels, sampleRate});
    return engine;
}

}  // namespace flanger::bench
