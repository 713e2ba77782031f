// The two ends of a stream: where the audio comes from and where it goes, a block at a time.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace flanger::tool {

// Where the audio comes from, one block at a time.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Fills up to `frames` frames of every channel array; returns the frames delivered, 0 at
    // the end. Called from inside ProcessStream, so it must not throw.
    virtual std::uint32_t Read(std::span<float* const> channels, std::uint32_t frames) noexcept = 0;
    // Why the last Read delivered nothing although the audio had not ended; empty otherwise.
    virtual std::string Failure() const = 0;
};

// Where the processed audio goes.
class AudioSink {
public:
    virtual ~AudioSink() = default;
    // Takes `frames` frames of every channel array; false with the reason in `error`.
    virtual bool Write(std::span<const float* const> channels, std::uint32_t frames,
                       std::string& error) = 0;
};

}  // namespace flanger::tool
