// The level's gains, computed by the compiler, and the glides.
#include "engine/output_level.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace flanger {
namespace {

// e^x for |x| below 3: the Taylor series of e^(x/64), squared six times.
constexpr double ExpSmall(double x) {
    const double y = x / 64.0;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k <= 16; ++k) {
        term = term * y / k;
        sum += term;
    }
    for (int k = 0; k < 6; ++k) sum *= sum;
    return sum;
}

constexpr double kLn10 = 2.302585092994045684;

constexpr std::array<double, kHighestLevel - kLowestLevel + 1> kLevelGains = [] {
    std::array<double, kHighestLevel - kLowestLevel + 1> gains{};
    for (std::int32_t tenths = kLowestLevel; tenths <= kHighestLevel; ++tenths) {
        gains[static_cast<std::size_t>(tenths - kLowestLevel)] = ExpSmall(tenths * kLn10 / 200.0);
    }
    return gains;
}();
static_assert(kLevelGains[-kLowestLevel] == 1.0, "0 dB multiplies by exactly 1");

constexpr std::uint32_t kGainChunk = 256;

}  // namespace

double LevelGain(std::int32_t tenthsOfDecibel) {
    const std::int32_t tenths = std::clamp(tenthsOfDecibel, kLowestLevel, kHighestLevel);
    return kLevelGains[static_cast<std::size_t>(tenths - kLowestLevel)];
}

void GainGlide::Jump(double gain) {
    From = To = gain;
    Length = Done = 0;
}

double GainGlide::Current() const {
    if (!Gliding()) return To;
    const double t = static_cast<double>(Done) / static_cast<double>(Length);
    return From + (To - From) * (t * t * (3.0 - 2.0 * t));
}

void GainGlide::MoveTo(double gain) {
    if (gain == To) return;
    From = Current();
    To = gain;
    Length = GlideFrames;
    Done = 0;
}

void GainGlide::Next(std::uint32_t frames, double* gains) {
    for (std::uint32_t i = 0; i < frames; ++i) {
        if (Done < Length) ++Done;
        gains[i] = Current();
    }
}

void OutputLevel::ApplyGain(float* const* channels, std::uint32_t count, std::uint32_t offset,
                            std::uint32_t frames, std::int32_t tenthsOfDecibel) {
    if (tenthsOfDecibel != Tenths) {
        Tenths = tenthsOfDecibel;
        Glide.MoveTo(LevelGain(tenthsOfDecibel));
    }
    if (!Glide.Gliding()) {
        const double gain = Glide.Target();
        if (gain == 1.0) return;
        for (std::uint32_t j = 0; j < count; ++j) {
            if (channels[j] == nullptr) continue;
            float* samples = channels[j] + offset;
            for (std::uint32_t i = 0; i < frames; ++i) {
                samples[i] = static_cast<float>(static_cast<double>(samples[i]) * gain);
            }
        }
        return;
    }
    double gains[kGainChunk];
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t chunk = std::min(frames - done, kGainChunk);
        Glide.Next(chunk, gains);
        for (std::uint32_t j = 0; j < count; ++j) {
            if (channels[j] == nullptr) continue;
            float* samples = channels[j] + offset + done;
            for (std::uint32_t i = 0; i < chunk; ++i) {
                samples[i] = static_cast<float>(static_cast<double>(samples[i]) * gains[i]);
            }
        }
        done += chunk;
    }
}

}  // namespace flanger
