// Choosing the output container and encoding: what OUT's name announces, what the source keeps,
// what replaces an encoding that does not fit the container, and what is refused.
#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "audio/audio_format.h"
#include "audio/sound_file.h"

namespace flanger::tool {
namespace {

struct FileNameCase {
    std::string_view name;
    std::optional<Container> expected;
};

TEST(OutputFormatTest, ReadsTheContainerFromTheExtension) {
    const FileNameCase cases[] = {
        {"out.wav", Container::Wav},
        {"OUT.WAV", Container::Wav},
        {"a/b.c/out.flac", Container::Flac},
        {"x.aif", Container::Aiff},
        {"x.AIFF", Container::Aiff},
        {"x.ogg", Container::Ogg},
        {"x.tar.Ogg", Container::Ogg},
        {"out", std::nullopt},
        {"out.mp3", Container::Mp3},
        {"x.Opus", Container::Opus},
        {"x.snd", Container::Au},
        {"out.wave", std::nullopt},
        {"out.wav.bak", std::nullopt},
        {"dir.wav/out", std::nullopt},
        {".wav", std::nullopt},
        {"dir/.flac", std::nullopt},
        {"out.", std::nullopt},
        {"", std::nullopt},
    };
    for (const FileNameCase& c : cases) {
        EXPECT_EQ(ContainerForFileName(c.name), c.expected) << "name \"" << c.name << "\"";
    }
}

struct ChoiceCase {
    const char* name;
    Container sourceContainer;
    Encoding sourceEncoding;
    std::optional<Container> container;
    std::optional<Encoding> encoding;
    int channels;
    std::optional<SoundFormat> expected;  // nullopt: refused
};

SoundFormat Format(Container container, Encoding encoding) {
    return MakeSoundFormat(container, encoding);
}

TEST(OutputFormatTest, KeepsTheSourceFormatUnlessToldOrUnfit) {
    using C = Container;
    using E = Encoding;
    const ChoiceCase cases[] = {
        {"kept", C::Wav, E::Float, {}, {}, 2, Format(C::Wav, E::Float)},
        {"kept flac", C::Flac, E::Pcm24, {}, {}, 1, Format(C::Flac, E::Pcm24)},
        {"encoding only", C::Wav, E::Pcm16, {}, E::Double, 2, Format(C::Wav, E::Double)},
        {"fits the new container", C::Wav, E::Pcm16, C::Flac, {}, 2, Format(C::Flac, E::Pcm16)},
        {"float to flac", C::Wav, E::Float, C::Flac, {}, 2, Format(C::Flac, E::Pcm24)},
        {"pcm32 to flac", C::Aiff, E::Pcm32, C::Flac, {}, 2, Format(C::Flac, E::Pcm24)},
        {"float to aiff", C::Wav, E::Float, C::Aiff, {}, 2, Format(C::Aiff, E::Float)},
        {"vorbis to aiff", C::Ogg, E::Vorbis, C::Aiff, {}, 2, Format(C::Aiff, E::Pcm24)},
        {"vorbis to wav", C::Ogg, E::Vorbis, C::Wav, {}, 2, Format(C::Wav, E::Float)},
        {"pcm24 to wav", C::Flac, E::Pcm24, C::Wav, {}, 2, Format(C::Wav, E::Pcm24)},
        {"pcm16 to ogg", C::Wav, E::Pcm16, C::Ogg, {}, 2, Format(C::Ogg, E::Vorbis)},
        {"both given", C::Wav, E::Float, C::Aiff, E::Pcm16, 2, Format(C::Aiff, E::Pcm16)},
        // An encoding asked for by name is not silently replaced.
        {"vorbis in wav", C::Wav, E::Pcm16, {}, E::Vorbis, 2, std::nullopt},
        {"float in flac", C::Wav, E::Pcm16, C::Flac, E::Float, 2, std::nullopt},
        {"pcm16 in ogg", C::Wav, E::Pcm16, C::Ogg, E::Pcm16, 2, std::nullopt},
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FormatChoice choice = ChooseOutputFormat(Format(c.sourceContainer, c.sourceEncoding),
                                                       c.container, c.encoding, c.channels, 44100);
        EXPECT_EQ(choice.Format, c.expected)
            << "got " << (choice.Format ? DescribeFormat(*choice.Format) : choice.Error);
        EXPECT_EQ(choice.Error.empty(), c.expected.has_value()) << choice.Error;
    }
}

// Refusals say the container's own limit where libsndfile has one, else what was tried.
TEST(OutputFormatTest, RefusalNamesWhatWasTriedAndTheWayOut) {
    struct Case {
        Container container;
        std::optional<Encoding> encoding;
        int channels;
        int rate;
        std::string_view error;
    };
    const Case cases[] = {
        {Container::Flac, Encoding::Double, 2, 48000,
         "FLAC cannot store float samples; it takes pcm16 or pcm24"},
        {Container::Flac, std::nullopt, 12, 48000, "FLAC holds at most 8 channels, not 12"},
        {Container::Opus, std::nullopt, 2, 44100,
         "Opus stores 8, 12, 16, 24 or 48 kHz only, not 44100 Hz; resample the input first (sox "
         "IN -r 48k OUT) or choose another --format"},
        {Container::Mp3, std::nullopt, 6, 48000, "MP3 holds one or two channels, not 6"},
        {Container::Wav, Encoding::Vorbis, 2, 48000, "WAV cannot hold vorbis samples"},
        {Container::Caf, Encoding::Vorbis, 2, 48000, "CAF cannot hold vorbis samples"},
    };
    for (const Case& c : cases) {
        const FormatChoice choice =
            ChooseOutputFormat(MakeSoundFormat(Container::Wav, Encoding::Pcm16), c.container,
                               c.encoding, c.channels, c.rate);
        EXPECT_FALSE(choice.Format);
        EXPECT_EQ(choice.Error, c.error);
    }
}

}  // namespace
}  // namespace flanger::tool
