// Names of containers and encodings, and the extensions that announce a container.
#include "audio/audio_format.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace flanger::tool {
namespace {

constexpr std::array<std::pair<Container, std::string_view>, 4> kContainerNames = {{
    {Container::Wav, "wav"},
    {Container::Flac, "flac"},
    {Container::Aiff, "aiff"},
    {Container::Ogg, "ogg"},
}};

constexpr std::array<std::pair<Encoding, std::string_view>, 6> kEncodingNames = {{
    {Encoding::Pcm16, "pcm16"},
    {Encoding::Pcm24, "pcm24"},
    {Encoding::Pcm32, "pcm32"},
    {Encoding::Float, "float"},
    {Encoding::Double, "double"},
    {Encoding::Vorbis, "vorbis"},
}};

constexpr std::array<std::pair<std::string_view, Container>, 5> kExtensions = {{
    {"wav", Container::Wav},
    {"flac", Container::Flac},
    {"aif", Container::Aiff},
    {"aiff", Container::Aiff},
    {"ogg", Container::Ogg},
}};

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::string_view ContainerName(Container container) {
    for (const auto& [value, name] : kContainerNames) {
        if (value == container) return name;
    }
    return "?";
}

std::string_view EncodingName(Encoding encoding) {
    for (const auto& [value, name] : kEncodingNames) {
        if (value == encoding) return name;
    }
    return "?";
}

std::optional<Container> ParseContainerName(std::string_view name) {
    for (const auto& [value, spelling] : kContainerNames) {
        if (spelling == name) return value;
    }
    return std::nullopt;
}

std::optional<Encoding> ParseEncodingName(std::string_view name) {
    for (const auto& [value, spelling] : kEncodingNames) {
        if (spelling == name) return value;
    }
    return std::nullopt;
}

std::optional<Container> ContainerForFileName(std::string_view fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::string_view base =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = base.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string_view::npos || dot == 0) return std::nullopt;
    const std::string_view extension = base.substr(dot + 1);
    for (const auto& [spelling, container] : kExtensions) {
        if (EqualIgnoringCase(extension, spelling)) return container;
    }
    return std::nullopt;
}

}  // namespace flanger::tool
