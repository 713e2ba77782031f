// Interleaving and de-interleaving between sound files and the module's channel arrays.
#include "file_stream.h"

namespace flanger::tool {

FileSource::FileSource(SoundReader& reader, std::uint32_t blockFrames)
    : Reader(reader), Interleaved(static_cast<std::size_t>(reader.Channels()) * blockFrames) {}

std::uint32_t FileSource::Read(std::span<float* const> channels, std::uint32_t frames) noexcept {
    const std::size_t channelCount = channels.size();
    if (channelCount == 0 || Interleaved.size() < channelCount * frames) return 0;
    const std::int64_t read = Reader.Read(Interleaved.data(), frames);
    if (read < 0) {
        Error = "cannot read the input: " + Reader.Error();
        return 0;
    }
    const float* sample = Interleaved.data();
    for (std::int64_t frame = 0; frame < read; ++frame) {
        for (std::size_t channel = 0; channel < channelCount; ++channel) {
            channels[channel][frame] = *sample++;
        }
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
    float* sample = Interleaved.data();
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < channelCount; ++channel) {
            *sample++ = channels[channel][frame];
        }
    }
    return Writer.Write(Interleaved.data(), frames, error);
}

}  // namespace flanger::tool
