// Interleaving and de-interleaving between sound files and the module's channel arrays.
#include "audio/file_stream.h"

#include <bit>
#include <cmath>

namespace flanger::tool {
namespace {

// Mono and stereo, the common cases, with the channel count known to the compiler; others walk
// one channel at a time.
template <std::size_t kChannels>
void Deinterleave(const float* interleaved, std::span<float* const> channels, std::size_t frames) {
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < kChannels; ++channel) {
            channels[channel][frame] = interleaved[frame * kChannels + channel];
        }
    }
}

void Deinterleave(const float* interleaved, std::span<float* const> channels, std::size_t frames) {
    const std::size_t channelCount = channels.size();
    if (channelCount == 1) return Deinterleave<1>(interleaved, channels, frames);
    if (channelCount == 2) return Deinterleave<2>(interleaved, channels, frames);
    for (std::size_t channel = 0; channel < channelCount; ++channel) {
        float* const target = channels[channel];
        const float* source = interleaved + channel;
        for (std::size_t frame = 0; frame < frames; ++frame, source += channelCount) {
            target[frame] = *source;
        }
    }
}

template <std::size_t kChannels>
void Interleave(std::span<const float* const> channels, std::size_t frames, float* interleaved) {
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < kChannels; ++channel) {
            interleaved[frame * kChannels + channel] = channels[channel][frame];
        }
    }
}

void Interleave(std::span<const float* const> channels, std::size_t frames, float* interleaved) {
    const std::size_t channelCount = channels.size();
    if (channelCount == 1) return Interleave<1>(channels, frames, interleaved);
    if (channelCount == 2) return Interleave<2>(channels, frames, interleaved);
    for (std::size_t channel = 0; channel < channelCount; ++channel) {
        const float* const source = channels[channel];
        float* target = interleaved + channel;
        for (std::size_t frame = 0; frame < frames; ++frame, target += channelCount) {
            *target = source[frame];
        }
    }
}

}  // namespace

FileSource::FileSource(SoundReader& reader, std::uint32_t blockFrames)
    : Reader(reader),
      Interleaved(static_cast<std::size_t>(reader.Channels()) * blockFrames),
      Floating(EncodingOf(reader.Format()) == Encoding::Float ||
               EncodingOf(reader.Format()) == Encoding::Double) {}

std::uint32_t FileSource::Read(std::span<float* const> channels, std::uint32_t frames) noexcept {
    const std::size_t channelCount = channels.size();
    if (channelCount == 0 || Interleaved.size() < channelCount * frames) return 0;
    const std::int64_t read = Reader.Read(Interleaved.data(), frames);
    if (read < 0) {
        Error = Reader.Error();
        return 0;
    }
    Deinterleave(Interleaved.data(), channels, static_cast<std::size_t>(read));
    Delivered += read;
    if (Floating) {
        const float* const samples = Interleaved.data();
        const std::size_t count = static_cast<std::size_t>(read) * channelCount;
        // Over the exponent bits (all set in NaN and the infinities alone), without a call.
        std::int64_t found = 0;
        for (std::size_t i = 0; i < count; ++i) {
            found += (std::bit_cast<std::uint32_t>(samples[i]) & 0x7F800000u) == 0x7F800000u;
        }
        NonFinite += found;
    }
    return static_cast<std::uint32_t>(read);
}

FileSink::FileSink(SoundWriter& writer, std::uint32_t channels, std::uint32_t blockFrames)
    : Writer(writer), Interleaved(std::size_t{channels} * blockFrames) {}

bool FileSink::Write(std::span<const float* const> channels, std::uint32_t frames,
                     std::string& error) {
    const std::size_t channelCount = channels.size();
    if (Interleaved.size() < channelCount * frames) {
        error = "a block larger than the sink's buffer";
        return false;
    }
    Interleave(channels, frames, Interleaved.data());
    return Writer.Write(Interleaved.data(), frames, error);
}

}  // namespace flanger::tool
