// Synthesis of the demo signal.
#include "processing/demo_signal.h"

#include <algorithm>

namespace flanger::tool {
namespace {

// An A minor chord from A2 up; the right channel is detuned slightly for width.
constexpr double kChordHz[] = {110.0, 130.81, 164.81, 220.0};
constexpr double kDetune[kDemoChannels] = {1.0, 1.004};
constexpr float kVoiceGain = 0.07f;
constexpr float kNoiseGain = 0.04f;
// Peak of the sum stays below 0.35, leaving room for the delayed copy and the feedback.

// Short fades so the file neither starts nor stops with a click.
constexpr std::int64_t kFadeFrames = kDemoSampleRate / 50;

}  // namespace

DemoSignal::DemoSignal() {
    // Spread the starting phases so the voices do not all jump together at frame 0.
    for (auto& channel : Phases) {
        for (int voice = 0; voice < kVoices; ++voice) channel[voice] = 0.25 * voice;
    }
}

std::uint32_t DemoSignal::Read(std::span<float* const> channels, std::uint32_t frames) noexcept {
    if (channels.size() != kDemoChannels) return 0;
    const auto count =
        static_cast<std::uint32_t>(std::min<std::int64_t>(frames, kDemoFrames - Position));
    for (std::uint32_t frame = 0; frame < count; ++frame, ++Position) {
        const std::int64_t edge = std::min(Position, kDemoFrames - 1 - Position);
        const float fade =
            edge < kFadeFrames ? static_cast<float>(edge) / static_cast<float>(kFadeFrames) : 1.0f;
        for (std::size_t channel = 0; channel < kDemoChannels; ++channel) {
            float sample = 0.0f;
            for (int voice = 0; voice < kVoices; ++voice) {
                double& phase = Phases[channel][voice];
                sample += kVoiceGain * static_cast<float>(2.0 * phase - 1.0);
                phase += kChordHz[voice] * kDetune[channel] / kDemoSampleRate;
                if (phase >= 1.0) phase -= 1.0;
            }
            // A 32-bit linear congruential generator is plenty for noise one hears, not measures.
            NoiseState = NoiseState * 1664525u + 1013904223u;
            const float noise = static_cast<float>(NoiseState >> 8) / 8388608.0f - 1.0f;
            channels[channel][frame] = fade * (sample + kNoiseGain * noise);
        }
    }
    return count;
}

}  // namespace flanger::tool
