// Audio files through libsndfile: reading any file it knows as 32-bit float frames, writing float
// frames into a chosen container and encoding, and choosing that output format. The only unit
// that sees <sndfile.h>.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/audio_format.h"

namespace flanger::tool {

// A libsndfile format word (container, encoding and byte order), opaque to the rest of the tool.
struct SoundFormat {
    int Code = 0;
    bool operator==(const SoundFormat&) const = default;
};

SoundFormat MakeSoundFormat(Container container, Encoding encoding);

// The container or encoding among those the command line names; nullopt for others (such as an
// IRCAM container or ADPCM samples). WAVEX counts as WAV, Ogg holding Opus as Opus.
std::optional<Container> ContainerOf(SoundFormat format);
std::optional<Encoding> EncodingOf(SoundFormat format);

// Whether the format's container is libsndfile's container for `container` (Ogg for Opus).
bool SameContainer(SoundFormat format, Container container);

// "WAV float", "FLAC pcm24", "Ogg opus", "MP3", "IRCAM G721 ADPCM": for messages.
std::string DescribeFormat(SoundFormat format);

struct FormatChoice {
    std::optional<SoundFormat> Format;
    std::string Error;  // why no format fits; empty when Format is set
};

// The output format for a source of the given format and shape: the requested container (else
// the source's) with the requested encoding (else the source's, or when that does not fit the
// container: pcm24 for FLAC and AIFF, float for WAV, vorbis for Ogg). An explicitly requested
// encoding that does not fit is refused rather than replaced.
FormatChoice ChooseOutputFormat(SoundFormat source, std::optional<Container> container,
                                std::optional<Encoding> encoding, int channels, int sampleRate);

// The text tags of a file (title, artist, album, date, comment ...), as libsndfile carries them,
// and where its channels go (a 5.1 WAV's channel mask).
struct SoundTags {
    std::vector<std::pair<int, std::string>> Entries;  // libsndfile's tag number and its text
    std::vector<int> ChannelMap;  // libsndfile's position of each channel; empty: none stated
};

// Whether the format's samples are a lossy codec's (Vorbis, Opus, MP3 ...).
bool IsLossyFormat(SoundFormat format);

class SoundReader {
public:
    // Opens a file for reading, standard input for "-"; null with the reason in `error` when it
    // cannot be read as audio. A given `raw` shape reads the file as raw samples of that shape.
    static std::unique_ptr<SoundReader> Open(const std::string& path, std::string& error,
                                             const RawShape& raw = {});
    ~SoundReader();
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    int Channels() const;
    int SampleRate() const;
    SoundFormat Format() const;
    // Frames in the file; nullopt when the length is unknown (a pipe).
    std::optional<std::int64_t> FrameCount() const;
    // Whether the file cannot seek (a pipe): only containers that libsndfile reads front to
    // back come through one whole.
    bool Unseekable() const;
    // The text tags the file holds.
    SoundTags Tags() const;
    // A header that contradicts itself, such as "its header says 7 channels in 4-byte frames",
    // which libsndfile would read as frames of the wrong size; empty for a sound header.
    std::string HeaderFault() const;
    // Why the audio may end early, once it has been read: a data chunk shorter than its header
    // says ("data : 4000 (should be 2652)"), an Ogg stream without its last page, or a decoder
    // that lost its way ("the decoder stopped: flac decoder lost sync"); empty for a whole file.
    std::string DamageNote() const;

    // Reads up to `frames` interleaved frames, integer samples scaled to [-1, 1). Returns the
    // frames read, 0 at the end of the file, -1 on a read error before any frame (see Error()).
    // A decoder error after some frames ends the audio there (see DamageNote()).
    std::int64_t Read(float* samples, std::int64_t frames);
    // "cannot read 'in.flac': flac decoder lost sync": what failed, with the file.
    std::string Error() const;

private:
    struct State;
    explicit SoundReader(std::unique_ptr<State> state);
    std::unique_ptr<State> Impl;
};

// Whether the format can be written front to back, without going back to its header: WAV, AU
// and raw samples, not ADPCM or lossy codecs.
bool WritesToPipe(SoundFormat format);

class SoundWriter {
public:
    // Starts writing a file of the given format on an open, empty, seekable descriptor, which
    // stays the caller's. Integer encodings clip samples outside [-1, 1) instead of wrapping.
    // Nothing time-dependent is written (no PEAK chunk), so equal audio gives equal bytes.
    // `lossy` sets the encoder of a lossy format; `tags` are written where the container holds
    // them (those it does not are left out). Null with the reason in `error` when the format
    // cannot be started or the encoder refuses the setting.
    static std::unique_ptr<SoundWriter> Open(int descriptor, SoundFormat format, int channels,
                                             int sampleRate, const LossySettings& lossy,
                                             const SoundTags& tags, std::string& error);
    // Starts writing to a descriptor that cannot seek (a pipe), in a format WritesToPipe takes:
    // the header goes out at once with its sizes set to "unknown" (0xFFFFFFFF), as streaming
    // writers set them, then the samples as they come.
    static std::unique_ptr<SoundWriter> OpenStream(int descriptor, SoundFormat format,
                                                   int channels, int sampleRate,
                                                   const SoundTags& tags, std::string& error);
    // Closes without finishing the file when Close was not called.
    ~SoundWriter();
    SoundWriter(const SoundWriter&) = delete;
    SoundWriter& operator=(const SoundWriter&) = delete;

    // Writes `frames` interleaved frames; false with the reason in `error` on failure.
    bool Write(const float* samples, std::int64_t frames, std::string& error);
    // For integer encodings: the samples written so far beyond full scale (|x| > 1.0), which
    // were clipped. 0 for float and lossy encodings.
    std::int64_t ClippedSamples() const;
    // The largest magnitude written so far, before any clipping.
    double Peak() const;
    // Finishes the file (headers, encoder flush); false with the reason in `error`.
    bool Close(std::string& error);

private:
    struct State;
    explicit SoundWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> Impl;
};

}  // namespace flanger::tool
