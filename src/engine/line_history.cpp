// LineHistory: recording a voice's writes and laying them out as a ring of another length.
#include "engine/line_history.h"

#include <algorithm>

#include "engine/flanger_voice.h"

namespace flanger {
namespace {

// Copies `count` floats from the ring `from` of `fromSize` positions, starting at `fromStart`,
// into the ring `to` of `toSize` positions from `toStart` on, each wrapping at its end.
void CopyAround(const float* from, std::int32_t fromSize, std::int32_t fromStart, float* to,
                std::int32_t toSize, std::int32_t toStart, std::int32_t count) {
    while (count > 0) {
        const std::int32_t run = std::min({count, fromSize - fromStart, toSize - toStart});
        std::copy_n(from + fromStart, run, to + toStart);
        fromStart += run;
        if (fromStart == fromSize) fromStart = 0;
        toStart += run;
        if (toStart == toSize) toStart = 0;
        count -= run;
    }
}

}  // namespace

void LineHistory::Bind(float* storage, std::uint32_t channels, std::int32_t capacity) {
    Storage = storage;
    Channels = channels;
    Capacity = capacity;
    Head = 0;
    Held = 0;
}

void LineHistory::Restart(const FlangerVoice& voice) {
    // The voice's write position holds its oldest frame: the ring read from there is the past
    // in the order it was written.
    const std::int32_t ring = std::min(voice.RingLengthFrames(), Capacity);
    const std::uint32_t channels = std::min(Channels, voice.ChannelCount());
    for (std::uint32_t j = 0; j < channels; ++j) {
        CopyAround(voice.Line(j), voice.RingLengthFrames(), voice.WriteIndexPosition(),
                   Storage + std::size_t{j} * static_cast<std::size_t>(Capacity), Capacity, 0,
                   ring);
    }
    Head = ring % Capacity;
    Held = ring;
}

void LineHistory::Append(const FlangerVoice& voice, std::int32_t start, std::uint32_t frames) {
    const auto count = static_cast<std::int32_t>(
        std::min<std::uint32_t>(frames, static_cast<std::uint32_t>(voice.RingLengthFrames())));
    const std::uint32_t channels = std::min(Channels, voice.ChannelCount());
    for (std::uint32_t j = 0; j < channels; ++j) {
        CopyAround(voice.Line(j), voice.RingLengthFrames(), start,
                   Storage + std::size_t{j} * static_cast<std::size_t>(Capacity), Capacity, Head,
                   count);
    }
    Head = (Head + count) % Capacity;
    Held = std::min(Held + count, Capacity);
}

void LineHistory::LayOut(float* const* lines, std::int32_t ringLength,
                         std::int32_t writeIndex) const {
    const std::int32_t count = std::min(ringLength, Held);
    // The oldest of the last `ringLength` frames goes to the write position, which the ring
    // overwrites next.
    const std::int32_t oldest = ((Head - ringLength) % Capacity + Capacity) % Capacity;
    for (std::uint32_t j = 0; j < Channels; ++j) {
        float* line = lines[j];
        const float* past = Storage + std::size_t{j} * static_cast<std::size_t>(Capacity);
        std::fill(line, line + ringLength + 1, 0.0f);
        CopyAround(past, Capacity, (oldest + (ringLength - count)) % Capacity, line, ringLength,
                   (writeIndex + (ringLength - count)) % ringLength, count);
    }
}

}  // namespace flanger
