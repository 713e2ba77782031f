// An independent host of the module for the command's tests: it loads Plugin.so itself and
// streams interleaved audio through it with the protocol an audio editor uses, so that the
// command's output can be compared with what the module makes of the same samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flanger::tool::test {

// The six record fields, in record units.
struct RecordValues {
    std::int32_t depth = 90;
    std::int32_t delay = 50;
    std::int32_t width = 50;
    std::int32_t sine = 0;
    std::int32_t feedback = 10;
    std::int32_t speed = 10;
};

// Blocks of this many frames, as the command uses for a few channels.
inline constexpr std::uint32_t kReferenceBlockFrames = 4096;

// Processes `samples` (interleaved) with a fresh record holding `values`; throws when the
// module cannot be loaded.
std::vector<float> ProcessWithModule(const RecordValues& values, int channels, int sampleRate,
                                     const std::vector<float>& samples);

}  // namespace flanger::tool::test
