// libsndfile behind the tool's reader, writer and format choice.
#include "audio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>

namespace flanger::tool {
namespace {

constexpr std::array<std::pair<Container, int>, 4> kContainerCodes = {{
    {Container::Wav, SF_FORMAT_WAV},
    {Container::Flac, SF_FORMAT_FLAC},
    {Container::Aiff, SF_FORMAT_AIFF},
    {Container::Ogg, SF_FORMAT_OGG},
}};

constexpr std::array<std::pair<Encoding, int>, 6> kEncodingCodes = {{
    {Encoding::Pcm16, SF_FORMAT_PCM_16},
    {Encoding::Pcm24, SF_FORMAT_PCM_24},
    {Encoding::Pcm32, SF_FORMAT_PCM_32},
    {Encoding::Float, SF_FORMAT_FLOAT},
    {Encoding::Double, SF_FORMAT_DOUBLE},
    {Encoding::Vorbis, SF_FORMAT_VORBIS},
}};

int ContainerCode(Container container) {
    for (const auto& [value, code] : kContainerCodes) {
        if (value == container) return code;
    }
    return 0;
}

int EncodingCode(Encoding encoding) {
    for (const auto& [value, code] : kEncodingCodes) {
        if (value == encoding) return code;
    }
    return 0;
}

// The encoding to fall back on when the source's does not fit the container.
int FallbackEncodingCode(int major) {
    switch (major) {
        case SF_FORMAT_FLAC:
        case SF_FORMAT_AIFF:
            return SF_FORMAT_PCM_24;
        case SF_FORMAT_OGG:
            return SF_FORMAT_VORBIS;
        default:
            return SF_FORMAT_FLOAT;
    }
}

// Samples that a float write has to convert to integers; only those can wrap around.
bool IsIntegerEncoding(int subtype) {
    return subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE &&
           subtype != SF_FORMAT_VORBIS && subtype != SF_FORMAT_OPUS;
}

// libsndfile keeps the reason of a failed open in one global that sf_strerror(nullptr) reads,
// so opens on different threads take turns to get their own reason back.
std::mutex OpenTurns;

// A file that keeps nothing of what is written to it, only where the end would be: enough for
// libsndfile to start writing a format and write its header.
struct DiscardedFile {
    sf_count_t Position = 0;
    sf_count_t Length = 0;

    static DiscardedFile& Of(void* data) { return *static_cast<DiscardedFile*>(data); }
    static sf_count_t Size(void* data) { return Of(data).Length; }
    static sf_count_t Seek(sf_count_t offset, int whence, void* data) {
        DiscardedFile& file = Of(data);
        const sf_count_t base = whence == SEEK_SET   ? 0
                                : whence == SEEK_CUR ? file.Position
                                                     : file.Length;
        file.Position = std::max<sf_count_t>(0, base + offset);
        return file.Position;
    }
    static sf_count_t Read(void*, sf_count_t, void*) { return 0; }
    static sf_count_t Write(const void*, sf_count_t count, void* data) {
        DiscardedFile& file = Of(data);
        file.Position += count;
        file.Length = std::max(file.Length, file.Position);
        return count;
    }
    static sf_count_t Tell(void* data) { return Of(data).Position; }
};

// Whether libsndfile writes `format` with this shape. Its format check alone says yes to pairs
// that it then cannot write (MPEG Layer III in WAV, Opus at 44.1 kHz), so the format is also
// started on a file that discards what it is given.
bool Writable(int format, int channels, int sampleRate) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    if (sf_format_check(&info) == 0) return false;
    SF_VIRTUAL_IO discard = {&DiscardedFile::Size, &DiscardedFile::Seek, &DiscardedFile::Read,
                             &DiscardedFile::Write, &DiscardedFile::Tell};
    DiscardedFile file;
    const std::lock_guard turn(OpenTurns);
    SNDFILE* const started = sf_open_virtual(&discard, SFM_WRITE, &info, &file);
    if (started == nullptr) return false;
    sf_close(started);
    return true;
}

std::string LibraryFormatName(int code) {
    SF_FORMAT_INFO info{};
    info.format = code;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
        return "format 0x" + std::to_string(code);
    }
    return info.name;
}

}  // namespace

SoundFormat MakeSoundFormat(Container container, Encoding encoding) {
    return SoundFormat{ContainerCode(container) | EncodingCode(encoding)};
}

std::optional<Container> ContainerOf(SoundFormat format) {
    const int major = format.Code & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64) return Container::Wav;
    for (const auto& [container, code] : kContainerCodes) {
        if (code == major) return container;
    }
    return std::nullopt;
}

std::optional<Encoding> EncodingOf(SoundFormat format) {
    const int subtype = format.Code & SF_FORMAT_SUBMASK;
    for (const auto& [encoding, code] : kEncodingCodes) {
        if (code == subtype) return encoding;
    }
    return std::nullopt;
}

std::string DescribeFormat(SoundFormat format) {
    std::string text;
    if (const std::optional<Container> container = ContainerOf(format);
        container && (format.Code & SF_FORMAT_TYPEMASK) == ContainerCode(*container)) {
        for (const char c : ContainerName(*container)) text += static_cast<char>(c - 'a' + 'A');
    } else {
        text = LibraryFormatName(format.Code & SF_FORMAT_TYPEMASK);
    }
    text += ' ';
    if (const std::optional<Encoding> encoding = EncodingOf(format)) {
        text += EncodingName(*encoding);
    } else {
        text += LibraryFormatName(format.Code & SF_FORMAT_SUBMASK);
    }
    return text;
}

FormatChoice ChooseOutputFormat(SoundFormat source, std::optional<Container> container,
                                std::optional<Encoding> encoding, int channels, int sampleRate) {
    // The source's byte order only means something in the source's own container.
    const int major = container ? ContainerCode(*container) : source.Code & SF_FORMAT_TYPEMASK;
    const int order = container ? 0 : source.Code & SF_FORMAT_ENDMASK;
    const std::string shape = " with " + std::to_string(channels) + " channel(s) at " +
                              std::to_string(sampleRate) + " Hz";
    if (encoding) {
        const int format = major | EncodingCode(*encoding) | order;
        if (Writable(format, channels, sampleRate)) return FormatChoice{SoundFormat{format}, {}};
        return FormatChoice{std::nullopt, "cannot write " + DescribeFormat(SoundFormat{format}) +
                                              shape + "; choose another --format or --encoding"};
    }
    const int kept = major | (source.Code & SF_FORMAT_SUBMASK) | order;
    if (Writable(kept, channels, sampleRate)) return FormatChoice{SoundFormat{kept}, {}};
    const int fallback = major | FallbackEncodingCode(major);
    if (Writable(fallback, channels, sampleRate)) {
        return FormatChoice{SoundFormat{fallback}, {}};
    }
    std::string tried = DescribeFormat(SoundFormat{kept});
    if ((kept & SF_FORMAT_SUBMASK) != (fallback & SF_FORMAT_SUBMASK)) {
        tried += " or ";
        tried += EncodingName(EncodingOf(SoundFormat{fallback}).value_or(Encoding::Float));
    }
    return FormatChoice{
        std::nullopt, "cannot write " + tried + shape + "; choose another --format or --encoding"};
}

struct SoundReader::State {
    SNDFILE* File = nullptr;
    SF_INFO Info{};
};

SoundReader::SoundReader(std::unique_ptr<State> state) : Impl(std::move(state)) {}

SoundReader::~SoundReader() { sf_close(Impl->File); }

std::unique_ptr<SoundReader> SoundReader::Open(const std::string& path, std::string& error) {
    auto state = std::make_unique<State>();
    // A pipe may wait for its writer for as long as it likes, so it must not hold up the other
    // threads' opens; it goes without the turn (its failure message could then be another
    // failing open's). Regular files open at once.
    struct stat status {};
    const bool regular = stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    std::unique_lock turn(OpenTurns, std::defer_lock);
    if (regular) turn.lock();
    state->File = sf_open(path.c_str(), SFM_READ, &state->Info);
    if (state->File == nullptr) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    return std::unique_ptr<SoundReader>(new SoundReader(std::move(state)));
}

int SoundReader::Channels() const { return Impl->Info.channels; }

int SoundReader::SampleRate() const { return Impl->Info.samplerate; }

SoundFormat SoundReader::Format() const { return SoundFormat{Impl->Info.format}; }

std::optional<std::int64_t> SoundReader::FrameCount() const {
    if (Impl->Info.frames == SF_COUNT_MAX || Impl->Info.frames < 0) return std::nullopt;
    return Impl->Info.frames;
}

std::int64_t SoundReader::Read(float* samples, std::int64_t frames) {
    const sf_count_t read = sf_readf_float(Impl->File, samples, frames);
    // A short read is the end of the data unless the library recorded an error.
    if (read < frames && sf_error(Impl->File) != SF_ERR_NO_ERROR) return -1;
    return read;
}

std::string SoundReader::Error() const { return sf_strerror(Impl->File); }

struct SoundWriter::State {
    SNDFILE* File = nullptr;
    int Format = 0;
    bool FramesWritten = false;
    int Descriptor = -1;
    off_t WrittenBack = 0;  // the bytes already handed to the disk
};

namespace {

// Bytes between two hand-overs of the written part of the file to the disk.
constexpr off_t kWritebackBytes = off_t{8} << 20;

// Starts writing what the file holds so far to the disk without waiting for it, so that the
// final fsync, which makes the output safe before it replaces OUT, has little left to wait for.
void StartWriteback([[maybe_unused]] int descriptor, [[maybe_unused]] off_t& writtenBack) {
#if defined(__linux__)
    const off_t end = lseek(descriptor, 0, SEEK_CUR);
    if (end - writtenBack < kWritebackBytes) return;
    sync_file_range(descriptor, writtenBack, end - writtenBack, SYNC_FILE_RANGE_WRITE);
    writtenBack = end;
#endif
}

}  // namespace

SoundWriter::SoundWriter(std::unique_ptr<State> state) : Impl(std::move(state)) {}

SoundWriter::~SoundWriter() {
    if (Impl->File != nullptr) sf_close(Impl->File);
}

std::unique_ptr<SoundWriter> SoundWriter::Open(int descriptor, SoundFormat format, int channels,
                                               int sampleRate, std::string& error) {
    SF_INFO info{};
    info.format = format.Code;
    info.channels = channels;
    info.samplerate = sampleRate;
    auto state = std::make_unique<State>();
    state->Descriptor = descriptor;
    state->Format = format.Code;
    const std::lock_guard turn(OpenTurns);
    state->File = sf_open_fd(descriptor, SFM_WRITE, &info, SF_FALSE);
    if (state->File == nullptr) {
        error = sf_strerror(nullptr);
        return nullptr;
    }
    if (IsIntegerEncoding(format.Code & SF_FORMAT_SUBMASK)) {
        sf_command(state->File, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    // A PEAK chunk, which libsndfile adds to float WAV and AIFF files, holds the time of
    // writing: the same audio written a second later would differ in those bytes. Without it
    // the output depends on the input and the options alone.
    sf_command(state->File, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    return std::unique_ptr<SoundWriter>(new SoundWriter(std::move(state)));
}

bool SoundWriter::Write(const float* samples, std::int64_t frames, std::string& error) {
    if (sf_writef_float(Impl->File, samples, frames) != frames) {
        error = sf_strerror(Impl->File);
        return false;
    }
    Impl->FramesWritten = Impl->FramesWritten || frames > 0;
    StartWriteback(Impl->Descriptor, Impl->WrittenBack);
    return true;
}

bool SoundWriter::Close(std::string& error) {
    // libsndfile starts a FLAC stream at its first frames; without any it would leave an empty
    // file that nothing can read. Writing the header now gives a stream of no samples.
    if (!Impl->FramesWritten && (Impl->Format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC) {
        sf_command(Impl->File, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }
    // sf_close writes the final sizes into the container's header but does not report a write
    // that failed there, which would leave a header of no samples; written now, it is checked.
    // (FLAC and Ogg streams have no such header to come back to.)
    const int container = Impl->Format & SF_FORMAT_TYPEMASK;
    if (container != SF_FORMAT_FLAC && container != SF_FORMAT_OGG) {
        sf_command(Impl->File, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        if (sf_error(Impl->File) != SF_ERR_NO_ERROR) {
            error = sf_strerror(Impl->File);
            return false;
        }
    }
    const int status = sf_close(Impl->File);
    Impl->File = nullptr;
    if (status == 0) return true;
    error = sf_error_number(status);
    return false;
}

}  // namespace flanger::tool
