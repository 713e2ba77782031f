// Names of containers and encodings, and the extensions that announce a container.
#include "audio/audio_format.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <vector>

namespace flanger::tool {
namespace {

struct ContainerNames {
    Container Value;
    std::string_view Name;     // --format
    std::string_view Title;    // messages
    std::string_view Article;  // as the title is spoken: "an AIFF", "a WAV"
};

constexpr ContainerNames kContainers[] = {
    {Container::Wav, "wav", "WAV", "a"},     {Container::Flac, "flac", "FLAC", "a"},
    {Container::Aiff, "aiff", "AIFF", "an"}, {Container::Ogg, "ogg", "Ogg", "an"},
    {Container::Opus, "opus", "Opus", "an"}, {Container::Mp3, "mp3", "MP3", "an"},
    {Container::Caf, "caf", "CAF", "a"},     {Container::W64, "w64", "W64", "a"},
    {Container::Rf64, "rf64", "RF64", "an"}, {Container::Au, "au", "AU", "an"},
    {Container::Raw, "raw", "raw", "a"},
};

struct EncodingNames {
    Encoding Value;
    std::string_view Name;
    bool Integer;
    bool Lossy;
};

constexpr EncodingNames kEncodings[] = {
    {Encoding::Pcm16, "pcm16", true, false},    {Encoding::Pcm24, "pcm24", true, false},
    {Encoding::Pcm32, "pcm32", true, false},    {Encoding::Float, "float", false, false},
    {Encoding::Double, "double", false, false}, {Encoding::Vorbis, "vorbis", false, true},
    {Encoding::Opus, "opus", false, true},      {Encoding::Mp3, "mp3", false, true},
    {Encoding::Ulaw, "ulaw", true, false},      {Encoding::Alaw, "alaw", true, false},
};

constexpr std::pair<std::string_view, Container> kExtensions[] = {
    {"wav", Container::Wav},   {"flac", Container::Flac}, {"aif", Container::Aiff},
    {"aiff", Container::Aiff}, {"ogg", Container::Ogg},   {"oga", Container::Ogg},
    {"opus", Container::Opus}, {"mp3", Container::Mp3},   {"caf", Container::Caf},
    {"w64", Container::W64},   {"rf64", Container::Rf64}, {"au", Container::Au},
    {"snd", Container::Au},    {"raw", Container::Raw},
};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

const ContainerNames& NamesOf(Container container) {
    for (const ContainerNames& names : kContainers) {
        if (names.Value == container) return names;
    }
    return kContainers[0];  // not reached: the table holds every container
}

const EncodingNames& NamesOf(Encoding encoding) {
    for (const EncodingNames& names : kEncodings) {
        if (names.Value == encoding) return names;
    }
    return kEncodings[0];  // not reached: the table holds every encoding
}

// "a, b or c".
template <typename Table>
std::string NameList(const Table& table) {
    std::string list;
    const std::size_t count = std::size(table);
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) list += i + 1 == count ? " or " : ", ";
        list += table[i].Name;
    }
    return list;
}

}  // namespace

double QualityForInput(bool lossyInput, std::optional<double> averageKbps) {
    if (!lossyInput || !averageKbps) return 8.0;
    constexpr std::pair<double, double> kClasses[] = {
        {256.0, 9.0}, {192.0, 8.0}, {160.0, 7.0}, {128.0, 6.0}, {96.0, 5.0}};
    for (const auto& [kbps, quality] : kClasses) {
        if (*averageKbps >= kbps) return quality;
    }
    return 4.0;
}

std::string_view ContainerName(Container container) { return NamesOf(container).Name; }

std::string_view ContainerTitle(Container container) { return NamesOf(container).Title; }

std::string WithArticle(Container container) {
    const ContainerNames& names = NamesOf(container);
    return std::string(names.Article) + " " + std::string(names.Title);
}

std::string_view EncodingName(Encoding encoding) { return NamesOf(encoding).Name; }

bool IsIntegerEncoding(Encoding encoding) { return NamesOf(encoding).Integer; }

bool IsLossyEncoding(Encoding encoding) { return NamesOf(encoding).Lossy; }

std::string ContainerNameList() { return NameList(kContainers); }

std::string EncodingNameList() { return NameList(kEncodings); }

std::string RawEncodingNameList() {
    std::vector<EncodingNames> plain;
    std::ranges::copy_if(kEncodings, std::back_inserter(plain),
                         [](const EncodingNames& names) { return !names.Lossy; });
    return NameList(plain);
}

std::string ExtensionList() {
    std::string list;
    for (const auto& [spelling, container] : kExtensions) {
        if (!list.empty()) list += ' ';
        list += '.';
        list += spelling;
    }
    return list;
}

std::optional<Container> ParseContainerName(std::string_view name) {
    for (const ContainerNames& names : kContainers) {
        if (names.Name == name) return names.Value;
    }
    return std::nullopt;
}

std::optional<Encoding> ParseEncodingName(std::string_view name) {
    for (const EncodingNames& names : kEncodings) {
        if (names.Name == name) return names.Value;
    }
    return std::nullopt;
}

std::optional<std::string_view> ExtensionOf(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::string_view base =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    return base.substr(dot + 1);
}

std::optional<Container> ContainerForFileName(std::string_view fileName) {
    const std::optional<std::string_view> extension = ExtensionOf(fileName);
    if (!extension) return std::nullopt;
    for (const auto& [spelling, container] : kExtensions) {
        if (EqualIgnoringCase(*extension, spelling)) return container;
    }
    return std::nullopt;
}

std::optional<Container> ChooseContainer(std::optional<Container> format, std::string_view out,
                                         std::optional<Container> withoutExtension,
                                         std::string& error) {
    if (format) return format;
    if (out == "-") return Container::Wav;
    const std::optional<std::string_view> extension = ExtensionOf(out);
    if (!extension) return withoutExtension;
    if (const std::optional<Container> announced = ContainerForFileName(out)) return announced;
    error = "'" + std::string(out) + "' ends in '." + std::string(*extension) +
            "', which names no container the output can be written in; use one of " +
            ExtensionList() + ", or give --format";
    return std::nullopt;
}

}  // namespace flanger::tool
