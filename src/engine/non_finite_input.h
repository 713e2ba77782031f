// Input that is not a number. A NaN or infinite sample that entered a delay line would stay
// there with feedback on, and every later output of the channel would be NaN: one bad sample
// from a host or a file would silence the effect for good. Such samples are taken as silence
// before they reach the lines, so the effect recovers as soon as the input is finite again.
// Finite input is left exactly as it is.
#pragma once

#include <bit>
#include <cstdint>

namespace flanger {

// Replaces every NaN or infinite sample of `samples` with 0; returns how many there were.
// Written over the exponent bits, without branches, so that the loop vectorises.
inline std::uint32_t SilenceNonFinite(float* samples, std::uint32_t count) {
    constexpr std::uint32_t kExponent = 0x7F800000u;
    std::uint32_t found = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const bool notANumber = (std::bit_cast<std::uint32_t>(samples[i]) & kExponent) == kExponent;
        found += notANumber ? 1u : 0u;
        samples[i] = notANumber ? 0.0F : samples[i];
    }
    return found;
}

}  // namespace flanger
