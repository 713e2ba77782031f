// LineHistory: the recent past of a voice's delay lines, kept in the order it was written, so
// that a voice with another ring length can be given the same past.
//
// A ring of RingLength positions holds the last RingLength frames of a channel, laid out around
// the write position. When the live mode starts a voice with a longer ring, the old ring does
// not reach back far enough: the history then goes on recording what the old voice writes until
// it holds as many frames as the new ring needs. It works in storage the owner allocated, and
// neither allocates nor locks.
#pragma once

#include <cstdint>

namespace flanger {

class FlangerVoice;

class LineHistory {
public:
    // Binds the history to `channels` rings of `capacity` floats at `storage` (channel j's at
    // j * capacity), not owned. It then holds nothing.
    void Bind(float* storage, std::uint32_t channels, std::int32_t capacity);

    // Starts over with the last RingLength frames of `voice`'s lines.
    void Restart(const FlangerVoice& voice);

    // Records the `frames` frames that `voice` has just written from ring position `start` on.
    void Append(const FlangerVoice& voice, std::int32_t start, std::uint32_t frames);

    // How many of the most recent frames the history holds (at most its capacity).
    std::int32_t Frames() const { return Held; }

    // Lays the most recent `ringLength` frames (at most Frames()) into `lines` as a ring whose
    // next write goes to `writeIndex`: position (writeIndex - k) mod ringLength receives the
    // frame written k frames ago. The spare element after the ring is set to 0.0.
    void LayOut(float* const* lines, std::int32_t ringLength, std::int32_t writeIndex) const;

private:
    float* Storage = nullptr;
    std::uint32_t Channels = 0;
    std::int32_t Capacity = 0;
    std::int32_t Head = 0;  // where the next frame goes
    std::int32_t Held = 0;  // frames recorded, at most Capacity
};

}  // namespace flanger
