// libsndfile behind the tool's reader, writer and format choice.
#include "audio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <string_view>
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

// A file in memory: what libsndfile writes to it is kept, so that a header can be made without
// a file, and a format can be tried without writing anywhere.
struct MemoryFile {
    std::vector<unsigned char> Bytes;
    sf_count_t Position = 0;

    static MemoryFile& Of(void* data) { return *static_cast<MemoryFile*>(data); }
    static sf_count_t Size(void* data) { return static_cast<sf_count_t>(Of(data).Bytes.size()); }
    static sf_count_t Seek(sf_count_t offset, int whence, void* data) {
        MemoryFile& file = Of(data);
        const sf_count_t base = whence == SEEK_SET   ? 0
                                : whence == SEEK_CUR ? file.Position
                                                     : Size(data);
        file.Position = std::max<sf_count_t>(0, base + offset);
        return file.Position;
    }
    static sf_count_t Read(void*, sf_count_t, void*) { return 0; }
    static sf_count_t Write(const void* bytes, sf_count_t count, void* data) {
        MemoryFile& file = Of(data);
        const auto from = static_cast<std::size_t>(file.Position);
        if (file.Bytes.size() < from + static_cast<std::size_t>(count)) {
            file.Bytes.resize(from + static_cast<std::size_t>(count));
        }
        std::memcpy(file.Bytes.data() + from, bytes, static_cast<std::size_t>(count));
        file.Position += count;
        return count;
    }
    static sf_count_t Tell(void* data) { return Of(data).Position; }
    static SF_VIRTUAL_IO Calls() { return {&Size, &Seek, &Read, &Write, &Tell}; }
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
    SF_VIRTUAL_IO calls = MemoryFile::Calls();
    MemoryFile file;
    const std::lock_guard turn(OpenTurns);
    SNDFILE* const started = sf_open_virtual(&calls, SFM_WRITE, &info, &file);
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

// The containers' own limits, said in their terms, for the formats libsndfile refuses; empty
// when none of these is the reason.
std::string KnownLimit(int format, int channels, int sampleRate) {
    const int major = format & SF_FORMAT_TYPEMASK;
    const int subtype = format & SF_FORMAT_SUBMASK;
    const std::string rate = std::to_string(sampleRate) + " Hz";
    if (major == SF_FORMAT_FLAC && (subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE)) {
        return "FLAC cannot store float samples; it takes pcm16 or pcm24";
    }
    if (major == SF_FORMAT_FLAC && channels > 8) {
        return "FLAC holds at most 8 channels, not " + std::to_string(channels);
    }
    if (major == SF_FORMAT_FLAC && subtype == SF_FORMAT_PCM_32) {
        return "FLAC stores at most 24-bit samples; it takes pcm16 or pcm24";
    }
    if (subtype == SF_FORMAT_OPUS && major == SF_FORMAT_OGG) {
        constexpr int kOpusRates[] = {8000, 12000, 16000, 24000, 48000};
        if (std::ranges::find(kOpusRates, sampleRate) == std::end(kOpusRates)) {
            return "Opus stores 8, 12, 16, 24 or 48 kHz only, not " + rate +
                   "; resample the input first (sox IN -r 48k OUT) or choose another --format";
        }
        if (channels > 8) return "libsndfile writes Opus with at most 8 channels";
    }
    if (subtype == SF_FORMAT_MPEG_LAYER_III && major == SF_FORMAT_MPEG) {
        if (channels > 2) return "MP3 holds one or two channels, not " + std::to_string(channels);
        constexpr int kMpegRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
        if (std::ranges::find(kMpegRates, sampleRate) == std::end(kMpegRates)) {
            return "MP3 stores 8 to 48 kHz only, not " + rate +
                   "; resample the input first or choose another --format";
        }
    }
    const std::optional<Encoding> encoding = EncodingOf(SoundFormat{subtype});
    const std::optional<Container> container = ContainerOf(SoundFormat{major});
    const bool codecContainer = major == SF_FORMAT_OGG || major == SF_FORMAT_MPEG;
    if (encoding && container && IsLossyEncoding(*encoding) != codecContainer) {
        return std::string(ContainerTitle(*container)) + " cannot hold " +
               std::string(EncodingName(*encoding)) + " samples";
    }
    return {};
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
    int major = container ? ContainerCode(*container) : source.Code & SF_FORMAT_TYPEMASK;
    // A WAV input's extensible header, which holds its channel mask, stays in a WAV output.
    if (major == SF_FORMAT_WAV && (source.Code & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX) {
        major = SF_FORMAT_WAVEX;
    }
    const int order = container ? 0 : source.Code & SF_FORMAT_ENDMASK;
    const int only = container ? CodesOf(*container).OnlyEncoding : 0;
    const std::string shape = " with " + std::to_string(channels) + " channel(s) at " +
                              std::to_string(sampleRate) + " Hz";
    const auto refuse = [&](const std::string& tried) {
        return FormatChoice{std::nullopt, "cannot write " + tried + shape +
                                              "; choose another --format or --encoding"};
    };
    const auto refuseFor = [&](int format, const std::string& tried) {
        const std::string limit = KnownLimit(format, channels, sampleRate);
        return limit.empty() ? refuse(tried) : FormatChoice{std::nullopt, limit};
    };
    if (encoding || only != 0) {
        const int format = major | (encoding ? EncodingCode(*encoding) : only) | order;
        if ((only == 0 || (format & SF_FORMAT_SUBMASK) == only) &&
            Writable(format, channels, sampleRate)) {
            return FormatChoice{SoundFormat{format}, {}};
        }
        std::string tried = DescribeFormat(SoundFormat{format});
        if (container == Container::Opus) tried = "Opus (" + tried + ")";
        return refuseFor(format, tried);
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
    return refuseFor(fallback, tried);
}

struct SoundReader::State {
    SNDFILE* File = nullptr;
    SF_INFO Info{};
    bool Unseekable = false;
    std::string Named;  // "'in.flac'" or "standard input", for messages
    std::int64_t FramesRead = 0;
    std::string StoppedBy;  // why the decoder gave up before the end; empty while it has not
    // Past the end, the Ogg reader would look for another page and log the stream as cut.
    bool Ended = false;
};

namespace {

// libsndfile's reasons read "Error : flac decoder lost sync." or "SF_INFO struct incomplete";
// ours go on after a colon and end without a full stop.
std::string LibraryReason(const char* text) {
    std::string reason = text == nullptr ? "unknown error" : text;
    if (reason.starts_with("Error : ")) reason.erase(0, 8);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == '\n')) reason.pop_back();
    return reason;
}

// The lines of libsndfile's log of opening the file.
std::vector<std::string> LogLines(SNDFILE* file) {
    std::string log(8192, '\0');
    sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    log.resize(log.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        std::size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        const std::string line = log.substr(start, end - start);
        const std::size_t from = line.find_first_not_of(' ');
        if (from != std::string::npos) lines.push_back(line.substr(from));
        start = end + 1;
    }
    return lines;
}

// The number after "name : " in a log line such as "Block Align   : 4"; -1 for another line.
long LoggedNumber(const std::string& line, std::string_view name) {
    if (!line.starts_with(name)) return -1;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || line.find_first_not_of(' ', name.size()) != colon) return -1;
    return std::strtol(line.c_str() + colon + 1, nullptr, 10);
}

// libsndfile takes a WAV header's channel count as it stands, even when its frames (block
// align) are too small for that many samples, and then reads the data as frames of the wrong
// size: such a file is refused. Empty when the header is consistent.
std::string HeaderContradiction(SNDFILE* file, int channels) {
    long blockAlign = -1;
    long bits = -1;
    for (const std::string& line : LogLines(file)) {
        if (const long value = LoggedNumber(line, "Block Align"); value >= 0) blockAlign = value;
        if (const long value = LoggedNumber(line, "Bit Width"); value >= 0) bits = value;
    }
    if (blockAlign < 0 || bits <= 0 || blockAlign >= channels * ((bits + 7) / 8)) return {};
    return "its header says " + std::to_string(channels) + " channels in " +
           std::to_string(blockAlign) + "-byte frames";
}

}  // namespace

SoundReader::SoundReader(std::unique_ptr<State> state) : Impl(std::move(state)) {}

SoundReader::~SoundReader() { sf_close(Impl->File); }

std::unique_ptr<SoundReader> SoundReader::Open(const std::string& path, std::string& error,
                                               const RawShape& raw) {
    auto state = std::make_unique<State>();
    if (raw.Given()) {
        state->Info.samplerate = raw.SampleRate.value_or(0);
        state->Info.channels = raw.Channels.value_or(0);
        state->Info.format =
            SF_FORMAT_RAW | EncodingCode(raw.SampleEncoding.value_or(Encoding::Pcm16));
    }
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
        error = LibraryReason(sf_strerror(nullptr));
        return nullptr;
    }
    state->Named = path == "-" ? "standard input" : "'" + path + "'";
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
    std::vector<int> map(static_cast<std::size_t>(std::max(0, Impl->Info.channels)));
    if (!map.empty() && sf_command(Impl->File, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                   static_cast<int>(map.size() * sizeof(int))) == SF_TRUE) {
        tags.ChannelMap = std::move(map);
    }
    return tags;
}

bool SoundReader::Unseekable() const { return Impl->Unseekable; }

std::string SoundReader::HeaderFault() const {
    return HeaderContradiction(Impl->File, Impl->Info.channels);
}

std::string SoundReader::DamageNote() const {
    if (!Impl->StoppedBy.empty()) return "the decoder stopped: " + Impl->StoppedBy;
    for (const std::string& line : LogLines(Impl->File)) {
        // The parsers log a chunk that runs past the end of the file as "name : size (should
        // be n)"; only the sample data's chunk means audio is missing.
        // A size of 0xFFFFFFFF is a stream's "until the end", not a promise.
        if (line.find("(should be") != std::string::npos &&
            (line.starts_with("data") || line.starts_with("SSND")) &&
            line.find(" 4294967295 ") == std::string::npos) {
            return line;
        }
        // libsndfile logs a missing last page for whole streams too, but there it has found
        // their length; a cut one in a file it can seek in has none.
        if (line.find("without an End-Of-Stream flag") != std::string::npos &&
            Impl->Info.frames == SF_COUNT_MAX && !Impl->Unseekable) {
            return "its Ogg stream has no end";
        }
    }
    return {};
}

std::int64_t SoundReader::Read(float* samples, std::int64_t frames) {
    if (Impl->Ended) return 0;
    const sf_count_t read = sf_readf_float(Impl->File, samples, frames);
    Impl->FramesRead += read;
    Impl->Ended = read < frames;
    // A short read is the end of the data unless the library recorded an error. A decoder that
    // loses its way in a cut or damaged stream (FLAC) has still given what came before it:
    // that is kept as the end of the audio, and DamageNote says why it ended.
    if (read < frames && sf_error(Impl->File) != SF_ERR_NO_ERROR) {
        Impl->StoppedBy = LibraryReason(sf_strerror(Impl->File));
        if (Impl->FramesRead == 0) return -1;
    }
    return read;
}

std::string SoundReader::Error() const {
    return "cannot read " + Impl->Named + ": " +
           (Impl->StoppedBy.empty() ? LibraryReason(sf_strerror(Impl->File)) : Impl->StoppedBy);
}

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
// and a bitrate mode. In constant and average mode the level picks the bitrate, falling evenly
// over each codec's range (measured with libsndfile 1.2): MP3 from 320 to 32 kbps at 32 kHz and
// above (160 to 8 from 16 kHz, 64 to 8 below; constant rounds to the nearest MPEG bitrate),
// Opus from 256 to 6 kbps per channel. In variable mode an MP3 level is LAME's quality / 10,
// and LAME refuses 10 itself: its smallest is 9.999.
bool SetEncoder(SNDFILE* file, int format, const LossySettings& lossy, std::string& error) {
    const int subtype = format & SF_FORMAT_SUBMASK;
    const double quality = std::clamp(lossy.Quality, 0.0, 10.0);
    SF_INFO info{};
    sf_command(file, SFC_GET_CURRENT_SF_INFO, &info, sizeof info);
    const double channels = std::max(1, info.channels);
    // Opus's level is a bitrate all along; a quality takes 8 kbps per channel and 8 more per
    // step (144 kbps for stereo at 8), where the even spread of the level would ask for 400.
    const auto opusLevel = [channels](double kbps) { return (256.0 - kbps / channels) / 250.0; };
    const double mp3Top = info.samplerate >= 32000   ? 320.0
                          : info.samplerate >= 16000 ? 160.0
                                                     : 64.0;
    const double mp3Bottom = info.samplerate >= 32000 ? 32.0 : 8.0;
    const auto bitrateLevel = [&](double kbps) {
        return subtype == SF_FORMAT_OPUS ? opusLevel(kbps) : (mp3Top - kbps) / (mp3Top - mp3Bottom);
    };
    double level = subtype == SF_FORMAT_OPUS ? opusLevel((8.0 + 8.0 * quality) * channels)
                                             : 1.0 - quality / 10.0;
    level = std::clamp(level, 0.0, subtype == SF_FORMAT_MPEG_LAYER_III ? 0.9999 : 1.0);
    int mode = SF_BITRATE_MODE_VARIABLE;
    const bool takesBitrate = subtype == SF_FORMAT_MPEG_LAYER_III || subtype == SF_FORMAT_OPUS;
    if (lossy.ConstantKbps) {
        if (!takesBitrate) {
            error = "--bitrate sets MP3 and Opus; " + DescribeFormat(SoundFormat{format}) +
                    " takes --quality";
            return false;
        }
        level = std::clamp(bitrateLevel(*lossy.ConstantKbps), 0.0, 1.0);
        mode = SF_BITRATE_MODE_CONSTANT;
    } else if (lossy.KeptKbps && takesBitrate) {
        level = std::clamp(bitrateLevel(*lossy.KeptKbps), 0.0, 1.0);
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

namespace {

// What every output states besides its samples, before the first frames (Ogg and FLAC write
// their comments ahead of the audio).
void DescribeAudio(SNDFILE* file, int channels, const SoundTags& tags) {
    // A PEAK chunk, which libsndfile adds to float WAV and AIFF files, holds the time of
    // writing: the same audio written a second later would differ in those bytes. Without it
    // the output depends on the input and the options alone.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Containers without a place for the map (plain WAV, FLAC, Ogg) refuse it or drop it.
    if (tags.ChannelMap.size() == static_cast<std::size_t>(channels)) {
        std::vector<int> map = tags.ChannelMap;
        sf_command(file, SFC_SET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int)));
    }
    for (const auto& [tag, text] : tags.Entries) sf_set_string(file, tag, text.c_str());
}

// A stream's samples as libsndfile's raw writer lays them out: the byte order of the container
// (WAV little-endian; AU big-endian unless asked otherwise).
int SamplesOfStream(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_RAW) return format;
    const int order = major == SF_FORMAT_AU && (format & SF_FORMAT_ENDMASK) != SF_ENDIAN_LITTLE
                          ? SF_ENDIAN_BIG
                          : SF_ENDIAN_LITTLE;
    return SF_FORMAT_RAW | (format & SF_FORMAT_SUBMASK) | order;
}

// The header of a WAV or AU stream whose length nobody knows yet: libsndfile's own header for
// no frames, with the sizes that would count the data set to 0xFFFFFFFF, which readers of a
// stream take as "until the end", as sox and ffmpeg write them to a pipe.
std::vector<unsigned char> StreamHeader(int format, int channels, int sampleRate,
                                        const SoundTags& tags, std::string& error) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = sampleRate;
    SF_VIRTUAL_IO calls = MemoryFile::Calls();
    MemoryFile file;
    SNDFILE* made = nullptr;
    {
        const std::lock_guard turn(OpenTurns);
        made = sf_open_virtual(&calls, SFM_WRITE, &info, &file);
        if (made == nullptr) {
            error = LibraryReason(sf_strerror(nullptr));
            return {};
        }
    }
    DescribeAudio(made, channels, tags);
    sf_command(made, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    // The header ends where the samples would start.
    std::vector<unsigned char> header(file.Bytes.begin(), file.Bytes.begin() + file.Position);
    sf_close(made);
    const auto unknown = [&header](std::size_t at) {
        std::fill_n(header.begin() + static_cast<std::ptrdiff_t>(at), 4, 0xFF);
    };
    const std::size_t size = header.size();
    if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_AU && size >= 24) {
        unknown(8);  // the data size
    } else if (size >= 20 && std::memcmp(header.data() + size - 8, "data", 4) == 0) {
        unknown(4);  // the RIFF chunk's size
        unknown(size - 4);  // the data chunk's
    } else {
        error = "libsndfile made an unexpected " + DescribeFormat(SoundFormat{format}) + " header";
        return {};
    }
    return header;
}

bool WriteAll(int descriptor, const std::vector<unsigned char>& bytes, std::string& error) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) {
            error = std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

bool WritesToPipe(SoundFormat format) {
    switch (format.Code & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
        case SF_FORMAT_AU:
        case SF_FORMAT_RAW:
            break;
        default:
            return false;
    }
    // Samples the raw writer lays out as the container does; not ADPCM and the like, whose
    // blocks the container frames itself.
    switch (format.Code & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8:
        case SF_FORMAT_PCM_16:
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_ULAW:
        case SF_FORMAT_ALAW:
            return true;
        default:
            return false;
    }
}

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
    auto writer = std::unique_ptr<SoundWriter>(new SoundWriter(std::move(state)));
    if (IsLossyFormat(format) && !SetEncoder(writer->Impl->File, format.Code, lossy, error)) {
        return nullptr;
    }
    DescribeAudio(writer->Impl->File, channels, tags);
    return writer;
}

std::unique_ptr<SoundWriter> SoundWriter::OpenStream(int descriptor, SoundFormat format,
                                                     int channels, int sampleRate,
                                                     const SoundTags& tags, std::string& error) {
    const int major = format.Code & SF_FORMAT_TYPEMASK;
    if (!WritesToPipe(format)) {
        error = DescribeFormat(format) + " cannot be written without seeking";
        return nullptr;
    }
    if (major != SF_FORMAT_RAW) {
        const std::vector<unsigned char> header =
            StreamHeader(format.Code, channels, sampleRate, tags, error);
        if (header.empty() || !WriteAll(descriptor, header, error)) return nullptr;
    }
    return Open(descriptor, SoundFormat{SamplesOfStream(format.Code)}, channels, sampleRate, {},
                {}, error);
}

bool SoundWriter::Write(const float* samples, std::int64_t frames, std::string& error) {
    if (sf_writef_float(Impl->File, samples, frames) != frames) {
        error = sf_strerror(Impl->File);
        return false;
    }
    const std::int64_t count = frames * Impl->Channels;
    // As std::fmax, a NaN leaves the peak as it is; without a call for every sample. Eight
    // running peaks, which vector code keeps side by side: the largest of them is the same
    // whatever order the samples are compared in.
    constexpr std::int64_t kLanes = 8;
    float peaks[kLanes];
    std::fill(std::begin(peaks), std::end(peaks), Impl->Peak);
    std::int64_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::int64_t lane = 0; lane < kLanes; ++lane) {
            const float magnitude = std::fabs(samples[i + lane]);
            peaks[lane] = magnitude > peaks[lane] ? magnitude : peaks[lane];
        }
    }
    for (; i < count; ++i) {
        const float magnitude = std::fabs(samples[i]);
        peaks[0] = magnitude > peaks[0] ? magnitude : peaks[0];
    }
    float peak = peaks[0];
    for (const float lanePeak : peaks) peak = lanePeak > peak ? lanePeak : peak;
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
