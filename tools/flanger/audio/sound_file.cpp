// libsndfile behind the tool's reader, writer and format choice.
#include "audio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <utility>

namespace flanger::tool {
namespace {

// Each container's major format and, for those that hold one encoding only, that encoding.
struct ContainerCodes {
    Container Value;
    int Major;
    int OnlyEncoding;  // 0: any the container takes
};

constexpr ContainerCodes kContainerCodes[] = {
    {Container::Wav, SF_FORMAT_WAV, 0},
    {Container::Flac, SF_FORMAT_FLAC, 0},
    {Container::Aiff, SF_FORMAT_AIFF, 0},
    {Container::Ogg, SF_FORMAT_OGG, 0},
    {Container::Opus, SF_FORMAT_OGG, SF_FORMAT_OPUS},
    {Container::Mp3, SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
    {Container::Caf, SF_FORMAT_CAF, 0},
    {Container::W64, SF_FORMAT_W64, 0},
    {Container::Rf64, SF_FORMAT_RF64, 0},
    {Container::Au, SF_FORMAT_AU, 0},
    {Container::Raw, SF_FORMAT_RAW, 0},
};

constexpr std::pair<Encoding, int> kEncodingCodes[] = {
    {Encoding::Pcm16, SF_FORMAT_PCM_16},  {Encoding::Pcm24, SF_FORMAT_PCM_24},
    {Encoding::Pcm32, SF_FORMAT_PCM_32},  {Encoding::Float, SF_FORMAT_FLOAT},
    {Encoding::Double, SF_FORMAT_DOUBLE}, {Encoding::Vorbis, SF_FORMAT_VORBIS},
    {Encoding::Opus, SF_FORMAT_OPUS},     {Encoding::Mp3, SF_FORMAT_MPEG_LAYER_III},
    {Encoding::Ulaw, SF_FORMAT_ULAW},     {Encoding::Alaw, SF_FORMAT_ALAW},
};

const ContainerCodes& CodesOf(Container container) {
    for (const ContainerCodes& codes : kContainerCodes) {
        if (codes.Value == container) return codes;
    }
    return kContainerCodes[0];  // not reached: the table holds every container
}

int ContainerCode(Container container) { return CodesOf(container).Major; }

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
        case SF_FORMAT_MPEG:
            return SF_FORMAT_MPEG_LAYER_III;
        default:
            return SF_FORMAT_FLOAT;
    }
}

// Samples that a float write has to convert to integers; only those can wrap around.
bool IsIntegerSubtype(int subtype) {
    const std::optional<Encoding> encoding = EncodingOf(SoundFormat{subtype});
    // Encodings without a name here (8-bit, ADPCM ...) are integers too.
    return encoding ? IsIntegerEncoding(*encoding) : true;
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

bool IsLossyFormat(SoundFormat format) {
    switch (format.Code & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III:
            return true;
        default:
            return false;
    }
}

std::optional<Container> ContainerOf(SoundFormat format) {
    const int major = format.Code & SF_FORMAT_TYPEMASK;
    const int subtype = format.Code & SF_FORMAT_SUBMASK;
    if (major == SF_FORMAT_WAVEX) return Container::Wav;
    if (major == SF_FORMAT_OGG && subtype == SF_FORMAT_OPUS) return Container::Opus;
    for (const ContainerCodes& codes : kContainerCodes) {
        if (codes.Major == major) return codes.Value;
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

bool SameContainer(SoundFormat format, Container container) {
    return (format.Code & SF_FORMAT_TYPEMASK) == ContainerCode(container);
}

std::string DescribeFormat(SoundFormat format) {
    const int major = format.Code & SF_FORMAT_TYPEMASK;
    std::string text;
    // The container by its major format alone: Opus is "Ogg opus".
    for (const ContainerCodes& codes : kContainerCodes) {
        if (codes.Major == major) {
            text = ContainerTitle(codes.Value);
            break;
        }
    }
    if (text.empty()) text = LibraryFormatName(major);
    const std::optional<Encoding> encoding = EncodingOf(format);
    // "MP3", not "MP3 mp3".
    if (major == SF_FORMAT_MPEG && encoding == Encoding::Mp3) return text;
    text += ' ';
    text += encoding ? std::string(EncodingName(*encoding))
                     : LibraryFormatName(format.Code & SF_FORMAT_SUBMASK);
    return text;
}

FormatChoice ChooseOutputFormat(SoundFormat source, std::optional<Container> container,
                                std::optional<Encoding> encoding, int channels, int sampleRate) {
    // The source's byte order only means something in the source's own container.
    const int major = container ? ContainerCode(*container) : source.Code & SF_FORMAT_TYPEMASK;
    const int order = container ? 0 : source.Code & SF_FORMAT_ENDMASK;
    const int only = container ? CodesOf(*container).OnlyEncoding : 0;
    const std::string shape = " with " + std::to_string(channels) + " channel(s) at " +
                              std::to_string(sampleRate) + " Hz";
    const auto refuse = [&](const std::string& tried) {
        return FormatChoice{std::nullopt, "cannot write " + tried + shape +
                                              "; choose another --format or --encoding"};
    };
    if (encoding || only != 0) {
        const int format = major | (encoding ? EncodingCode(*encoding) : only) | order;
        if ((only == 0 || (format & SF_FORMAT_SUBMASK) == only) &&
            Writable(format, channels, sampleRate)) {
            return FormatChoice{SoundFormat{format}, {}};
        }
        std::string tried = DescribeFormat(SoundFormat{format});
        if (container == Container::Opus) tried = "Opus (" + tried + ")";
        return refuse(tried);
    }
    // Raw samples carry no header that could say how they are stored.
    if (major == SF_FORMAT_RAW) {
        return FormatChoice{std::nullopt, "raw output needs --encoding (" + EncodingNameList() +
                                              "): the file has no header to name it"};
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
    return refuse(tried);
}

struct SoundReader::State {
    SNDFILE* File = nullptr;
    SF_INFO Info{};
    bool Unseekable = false;
};

SoundReader::SoundReader(std::unique_ptr<State> state) : Impl(std::move(state)) {}

SoundReader::~SoundReader() { sf_close(Impl->File); }

std::unique_ptr<SoundReader> SoundReader::Open(const std::string& path, std::string& error) {
    auto state = std::make_unique<State>();
    // A pipe may wait for its writer for as long as it likes, so it must not hold up the other
    // threads' opens; it goes without the turn (its failure message could then be another
    // failing open's). Regular files open at once.
    // libsndfile itself reads standard input for "-".
    struct stat status {};
    const bool known =
        path == "-" ? fstat(STDIN_FILENO, &status) == 0 : stat(path.c_str(), &status) == 0;
    const bool regular = known && S_ISREG(status.st_mode);
    state->Unseekable = known && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode));
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

SoundTags SoundReader::Tags() const {
    SoundTags tags;
    for (int tag = SF_STR_FIRST; tag <= SF_STR_LAST; ++tag) {
        if (const char* text = sf_get_string(Impl->File, tag); text != nullptr && *text != '\0') {
            tags.Entries.emplace_back(tag, text);
        }
    }
    return tags;
}

bool SoundReader::Unseekable() const { return Impl->Unseekable; }

std::string SoundReader::DamageNote() const {
    std::string log(4096, '\0');
    sf_command(Impl->File, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    log.resize(log.find('\0'));
    // The parsers log a chunk that runs past the end of the file as "name : size (should be
    // n)"; only the sample data's chunk means audio is missing.
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 1;
        const std::size_t from = line.find_first_not_of(' ');
        if (from == std::string::npos || line.find("(should be") == std::string::npos) continue;
        if (line.compare(from, 4, "data") == 0 || line.compare(from, 4, "SSND") == 0) {
            return line.substr(from);
        }
    }
    return {};
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
    bool CountClipping = false;
    std::int64_t Clipped = 0;
    float Peak = 0.0F;
    int Channels = 0;
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

namespace {

// libsndfile sets every lossy encoder with one compression level, 0.0 (best) to 1.0 (smallest),
// and a bitrate mode. In constant mode the level picks the bitrate, falling evenly over each
// codec's range (measured with libsndfile 1.2): MP3 from 320 to 32 kbps (rounded to the nearest
// MPEG bitrate), Opus from 256 to 6 kbps per channel.
bool SetEncoder(SNDFILE* file, int format, const LossySettings& lossy, std::string& error) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    const double quality = std::clamp(lossy.Quality, 0.0, 10.0);
    SF_INFO info{};
    sf_command(file, SFC_GET_CURRENT_SF_INFO, &info, sizeof info);
    const double channels = std::max(1, info.channels);
    // Opus's level is a bitrate all along; a quality takes 8 kbps per channel and 8 more per
    // step (144 kbps for stereo at 8), where the even spread of the level would ask for 400.
    const auto opusLevel = [channels](double kbps) { return (256.0 - kbps / channels) / 250.0; };
    double level = subtype == SF_FORMAT_OPUS ? opusLevel((8.0 + 8.0 * quality) * channels)
                                             : 1.0 - quality / 10.0;
    level = std::clamp(level, 0.0, 1.0);
    int mode = SF_BITRATE_MODE_VARIABLE;
    if (lossy.ConstantKbps) {
        const double kbps = *lossy.ConstantKbps;
        if (subtype == SF_FORMAT_MPEG_LAYER_III) {
            level = (320.0 - kbps) / 288.0;
        } else if (subtype == SF_FORMAT_OPUS) {
            level = opusLevel(kbps);
        } else {
            error = "--bitrate sets MP3 and Opus; " + DescribeFormat(SoundFormat{format}) +
                    " takes --quality";
            return false;
        }
        level = std::clamp(level, 0.0, 1.0);
        mode = SF_BITRATE_MODE_CONSTANT;
    }
    // Vorbis has no mode to set; its level is a quality.
    if (subtype != SF_FORMAT_VORBIS) sf_command(file, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
    if (sf_command(file, SFC_SET_COMPRESSION_LEVEL, &level, sizeof level) != SF_TRUE) {
        error = "the " + DescribeFormat(SoundFormat{format}) + " encoder refuses the setting";
        return false;
    }
    return true;
}

}  // namespace

SoundWriter::SoundWriter(std::unique_ptr<State> state) : Impl(std::move(state)) {}

SoundWriter::~SoundWriter() {
    if (Impl->File != nullptr) sf_close(Impl->File);
}

std::unique_ptr<SoundWriter> SoundWriter::Open(int descriptor, SoundFormat format, int channels,
                                               int sampleRate, const LossySettings& lossy,
                                               const SoundTags& tags, std::string& error) {
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
    if (IsIntegerSubtype(format.Code & SF_FORMAT_SUBMASK)) {
        sf_command(state->File, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        state->CountClipping = true;
    }
    state->Channels = channels;
    // A PEAK chunk, which libsndfile adds to float WAV and AIFF files, holds the time of
    // writing: the same audio written a second later would differ in those bytes. Without it
    // the output depends on the input and the options alone.
    sf_command(state->File, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    auto writer = std::unique_ptr<SoundWriter>(new SoundWriter(std::move(state)));
    if (IsLossyFormat(format) && !SetEncoder(writer->Impl->File, format.Code, lossy, error)) {
        return nullptr;
    }
    // Before the first frames: Ogg and FLAC write their comments ahead of the audio.
    for (const auto& [tag, text] : tags.Entries) {
        sf_set_string(writer->Impl->File, tag, text.c_str());
    }
    return writer;
}

bool SoundWriter::Write(const float* samples, std::int64_t frames, std::string& error) {
    if (sf_writef_float(Impl->File, samples, frames) != frames) {
        error = sf_strerror(Impl->File);
        return false;
    }
    const std::int64_t count = frames * Impl->Channels;
    float peak = Impl->Peak;
    for (std::int64_t i = 0; i < count; ++i) peak = std::fmax(peak, std::fabs(samples[i]));
    if (Impl->CountClipping && peak > 1.0F) {
        for (std::int64_t i = 0; i < count; ++i) Impl->Clipped += std::fabs(samples[i]) > 1.0F;
    }
    Impl->Peak = peak;
    Impl->FramesWritten = Impl->FramesWritten || frames > 0;
    StartWriteback(Impl->Descriptor, Impl->WrittenBack);
    return true;
}

std::int64_t SoundWriter::ClippedSamples() const { return Impl->Clipped; }

double SoundWriter::Peak() const { return Impl->Peak; }

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
