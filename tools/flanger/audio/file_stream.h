// Sound files as the stream's source and sink: libsndfile works with interleaved frames, the
// module with one array per channel, so these two convert between the layouts block by block.
#pragma once

#include <vector>

#include "audio/audio_stream.h"
#include "audio/sound_file.h"

namespace flanger::tool {

class FileSource final : public AudioSource {
public:
    // `blockFrames` is the most frames one Read asks for; the reader stays the caller's.
    FileSource(SoundReader& reader, std::uint32_t blockFrames);
    std::uint32_t Read(std::span<float* const> channels, std::uint32_t frames) noexcept override;
    std::string Failure() const override { return Error; }
    // The frames delivered so far.
    std::int64_t FramesRead() const { return Delivered; }
    // The NaN and infinite samples among them (float files only), which the effect takes as
    // silence.
    std::int64_t NonFiniteSamples() const { return NonFinite; }

private:
    SoundReader& Reader;
    std::int64_t Delivered = 0;
    std::vector<float> Interleaved;
    bool Floating;
    std::int64_t NonFinite = 0;
    std::string Error;
};

class FileSink final : public AudioSink {
public:
    FileSink(SoundWriter& writer, std::uint32_t channels, std::uint32_t blockFrames);
    bool Write(std::span<const float* const> channels, std::uint32_t frames,
               std::string& error) override;

private:
    SoundWriter& Writer;
    std::vector<float> Interleaved;
};

}  // namespace flanger::tool
