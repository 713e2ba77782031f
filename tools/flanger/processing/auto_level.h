// The output's level: the peak a render reaches, the level that keeps it below full scale
// (--gain auto and the advice of the warnings), and how both are written in messages.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "audio/audio_stream.h"

namespace flanger::tool {

// The ceiling --gain auto keeps the peak at or below: -0.1 dBFS, the level's own step below 0.
double PeakCeiling();

// The largest level (tenths of a decibel, never above `current`, at least the lowest level)
// whose output keeps at or below the ceiling a peak that the level `current` made `peak`. For
// current 0 it is exact: a level multiplies each sample and rounds it to a float, so the peak
// of the output is the peak times the gain, rounded.
std::int32_t LevelForPeak(double peak, std::int32_t current);

// "+5.9 dBFS".
std::string DecibelsFullScale(double peak);

// "-6.0": a level as --gain takes it.
std::string LevelText(std::int32_t tenths);

// A sink that keeps nothing but the largest magnitude it is given: the first pass of --gain auto.
class PeakSink final : public AudioSink {
public:
    bool Write(std::span<const float* const> channels, std::uint32_t frames,
               std::string& error) override;
    double Peak() const { return Largest; }

private:
    float Largest = 0.0f;
};

}  // namespace flanger::tool
