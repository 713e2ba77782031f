// The built-in test signal of "flanger demo": ten seconds of a bright stereo sawtooth chord over
// soft noise. Both are rich in high partials, where the comb notches of the sweep are easiest
// to hear, and ten seconds hold one whole period of the default 0.1 Hz sweep.
#pragma once

#include <cstdint>

#include "processing/stream_host.h"

namespace flanger::tool {

inline constexpr std::uint16_t kDemoChannels = 2;
inline constexpr std::uint32_t kDemoSampleRate = 44100;
inline constexpr std::int64_t kDemoFrames = std::int64_t{kDemoSampleRate} * 10;

class DemoSignal final : public AudioSource {
public:
    DemoSignal();
    // Expects kDemoChannels arrays.
    std::uint32_t Read(std::span<float* const> channels, std::uint32_t frames) noexcept override;
    std::string Failure() const override { return {}; }

private:
    static constexpr int kVoices = 4;
    std::int64_t Position = 0;                   // frames delivered so far
    double Phases[kDemoChannels][kVoices] = {};  // sawtooth phases, 0..1
    std::uint32_t NoiseState = 0x12345678u;
};

}  // namespace flanger::tool
