// Peaks and levels.
#include "processing/auto_level.h"

#include <cmath>
#include <cstdio>

#include "command_line/effect_values.h"
#include "engine/output_level.h"

namespace flanger::tool {

double PeakCeiling() { return LevelGain(-1); }

std::int32_t LevelForPeak(double peak, std::int32_t current) {
    const double unscaled = peak / LevelGain(current);
    for (std::int32_t level = current; level > kLowestLevel; --level) {
        if (static_cast<float>(unscaled * LevelGain(level)) <= PeakCeiling()) return level;
    }
    return kLowestLevel;
}

std::string DecibelsFullScale(double peak) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f dBFS", 20.0 * std::log10(peak));
    return text;
}

std::string LevelText(std::int32_t tenths) { return FormatFixed(tenths, 1); }

bool PeakSink::Write(std::span<const float* const> channels, std::uint32_t frames, std::string&) {
    for (const float* channel : channels) {
        for (std::uint32_t i = 0; i < frames; ++i) {
            Largest = std::fmax(Largest, std::fabs(channel[i]));
        }
    }
    return true;
}

}  // namespace flanger::tool
