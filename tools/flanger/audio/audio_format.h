// The output containers and sample encodings a person can ask for, by the names the command line
// uses. Kept free of libsndfile so that the option parser and its tests do not depend on it;
// sound_file.cpp maps them onto libsndfile's format codes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flanger::tool {

enum class Container { Wav, Flac, Aiff, Ogg };

enum class Encoding { Pcm16, Pcm24, Pcm32, Float, Double, Vorbis };

// "wav", "flac", "aiff", "ogg": the spelling of --format.
std::string_view ContainerName(Container container);
// "pcm16", "pcm24", "pcm32", "float", "double", "vorbis": the spelling of --encoding.
std::string_view EncodingName(Encoding encoding);

// Exact, lower-case names only; nullopt for anything else.
std::optional<Container> ParseContainerName(std::string_view name);
std::optional<Encoding> ParseEncodingName(std::string_view name);

// The container a file name's extension announces (.wav .flac .aif .aiff .ogg, any letter case);
// nullopt when the name has no such extension.
std::optional<Container> ContainerForFileName(std::string_view fileName);

}  // namespace flanger::tool
