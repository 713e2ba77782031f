// The output containers and sample encodings a person can ask for, by the names the command line
// uses. Kept free of libsndfile so that the option parser and its tests do not depend on it;
// sound_file.cpp maps them onto libsndfile's format codes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flanger::tool {

// Opus is Ogg holding Opus, named apart because its files are (.opus); Mp3 is MPEG Layer III.
enum class Container { Wav, Flac, Aiff, Ogg, Opus, Mp3, Caf, W64, Rf64, Au, Raw };

enum class Encoding { Pcm16, Pcm24, Pcm32, Float, Double, Vorbis, Opus, Mp3, Ulaw, Alaw };

// How hard a lossy encoder (Vorbis, Opus, MP3) works: a quality from 0 (smallest) to 10 (best),
// with a bitrate that varies, or a constant bitrate. Lossless outputs ignore it.
struct LossySettings {
    double Quality = 8.0;             // --quality
    std::optional<int> ConstantKbps;  // --bitrate, kilobits per second, in place of Quality
    // A lossy input's average bitrate, kilobits per second, when neither option is given: MP3
    // and Opus keep it as a constant bitrate (a quality, and LAME's average mode too, fall far
    // below it on tonal material: 116 and 141 kbps from a 192 kbps tone); Vorbis, which has
    // no bitrate mode, takes Quality.
    std::optional<double> KeptKbps;
    bool operator==(const LossySettings&) const = default;
};

// The shape of raw samples, which have no header to state it: --rate, --channels and
// --input-encoding. The samples are in the byte order raw output is written in (the machine's).
struct RawShape {
    std::optional<int> SampleRate;
    std::optional<int> Channels;
    std::optional<Encoding> SampleEncoding;
    bool Given() const { return SampleRate.has_value(); }
    bool operator==(const RawShape&) const = default;
};

// The quality that keeps an input's bitrate class: 8 for a lossless input (nothing of it may
// be lost lightly), else by its average bitrate over all channels (kilobits per second):
// 256 and up 9, 192 8, 160 7, 128 6, 96 5, below 4. Not the encoders' lowest setting.
double QualityForInput(bool lossyInput, std::optional<double> averageKbps);

// "wav", "flac", "aiff", "ogg", ...: the spelling of --format.
std::string_view ContainerName(Container container);
// "WAV", "AIFF", "Ogg", ...: the name in messages.
std::string_view ContainerTitle(Container container);
// "a WAV", "an AIFF", "an Ogg": the title with its article.
std::string WithArticle(Container container);
// "pcm16", "pcm24", "pcm32", "float", "double", "vorbis", ...: the spelling of --encoding.
std::string_view EncodingName(Encoding encoding);
// Whether samples are stored as integers, so that values beyond full scale clip.
bool IsIntegerEncoding(Encoding encoding);
// Whether the encoding is a lossy codec with a quality setting (Vorbis, Opus, MP3).
bool IsLossyEncoding(Encoding encoding);

// "wav, flac, aiff, ... or raw" and "pcm16, ... or alaw": every name, for help and refusals.
std::string ContainerNameList();
std::string EncodingNameList();
// The same for raw samples, which are never a lossy codec's.
std::string RawEncodingNameList();
// ".wav .flac .aif .aiff ...": every extension that announces a container.
std::string ExtensionList();

// Exact, lower-case names only; nullopt for anything else.
std::optional<Container> ParseContainerName(std::string_view name);
std::optional<Encoding> ParseEncodingName(std::string_view name);

// The extension of a file name without its dot ("flac" for "a/b.flac"); nullopt when the last
// name has none (a leading dot names a hidden file, not an extension).
std::optional<std::string_view> ExtensionOf(std::string_view fileName);

// The container a file name's extension announces (.wav .flac .aif .aiff .ogg .oga .opus .mp3
// .caf .w64 .rf64 .au .snd .raw, any letter case); nullopt when the name has no such extension.
std::optional<Container> ContainerForFileName(std::string_view fileName);

// The container of OUT: --format when given; WAV for standard output ("-"); else the one OUT's
// extension announces, or `withoutExtension` when OUT has none (nullopt: the source's). An
// extension that announces none is refused with the list, `error` set and nullopt returned.
std::optional<Container> ChooseContainer(std::optional<Container> format, std::string_view out,
                                         std::optional<Container> withoutExtension,
                                         std::string& error);

}  // namespace flanger::tool
