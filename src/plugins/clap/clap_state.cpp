// The CLAP state's bytes, written and checked field by field.
#include "plugins/clap/clap_state.h"

#include <cmath>
#include <cstring>

#include "plugins/plugin_ports.h"

namespace flanger::plugins {
namespace {

constexpr std::uint8_t kMark[4] = {'V', 'F', 'L', 'S'};

void PutWord(std::uint8_t* at, std::uint32_t word) {
    for (int k = 0; k < 4; ++k) at[k] = static_cast<std::uint8_t>(word >> (8 * k));
}

std::uint32_t WordAt(const std::uint8_t* at) {
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) word |= std::uint32_t{at[k]} << (8 * k);
    return word;
}

}  // namespace

std::size_t EncodeClapState(std::uint32_t channels, const ControlValues& values,
                            ClapStateBytes& bytes) {
    std::memcpy(bytes.data(), kMark, sizeof kMark);
    PutWord(&bytes[4], kClapStateVersion);
    std::size_t size = kClapStateHeaderBytes;
    std::uint32_t count = 0;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if (!HasControl(channels, control)) continue;
        std::uint32_t bits = 0;
        std::memcpy(&bits, &values[control], sizeof bits);
        PutWord(&bytes[size], control);
        PutWord(&bytes[size + 4], bits);
        size += 8;
        ++count;
    }
    PutWord(&bytes[8], count);
    return size;
}

bool DecodeClapState(std::uint32_t channels, const std::uint8_t* bytes, std::size_t size,
                     ControlValues& values) {
    if (bytes == nullptr || size < kClapStateHeaderBytes ||
        std::memcmp(bytes, kMark, sizeof kMark) != 0 || WordAt(bytes + 4) != kClapStateVersion) {
        return false;
    }
    const std::uint32_t count = WordAt(bytes + 8);
    if (count > kControlCount || size != kClapStateHeaderBytes + std::size_t{8} * count) {
        return false;
    }
    ControlValues read{};
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        read[control] = kControls[control].Default;
    }
    bool seen[kControlCount] = {};
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint8_t* pair = bytes + kClapStateHeaderBytes + 8 * std::size_t{k};
        const std::uint32_t control = WordAt(pair);
        const std::uint32_t bits = WordAt(pair + 4);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        if (!HasControl(channels, control) || seen[control] || !std::isfinite(value)) return false;
        seen[control] = true;
        read[control] = value;
    }
    values = read;
    return true;
}

}  // namespace flanger::plugins
