// The names a many-file run gives its outputs: the input's file name, its extension replaced
// only when --format names another container than the name announces.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "many_files/batch_job.h"

namespace flanger::tool {
namespace {

struct NameCase {
    const char* input;
    std::optional<Container> format;
    const char* output;
};

TEST(BatchNamingTest, OutputKeepsTheInputsNameWithTheContainersExtension) {
    const NameCase cases[] = {
        {"take.wav", std::nullopt, "take.wav"},
        {"some/dir.flac/take.wav", std::nullopt, "take.wav"},
        // Without --format the name stays, even when it says nothing about the container.
        {"take", std::nullopt, "take"},
        {"take.snd", std::nullopt, "take.snd"},
        {"take.wav", Container::Flac, "take.flac"},
        {"take.wav", Container::Aiff, "take.aiff"},
        {"take.flac", Container::Ogg, "take.ogg"},
        {"take.ogg", Container::Wav, "take.wav"},
        // A name that already announces the container keeps its spelling.
        {"take.WAV", Container::Wav, "take.WAV"},
        {"take.aif", Container::Aiff, "take.aif"},
        {"dir/take.Flac", Container::Flac, "take.Flac"},
        // Only the last extension is the container's.
        {"mix.v2.wav", Container::Flac, "mix.v2.flac"},
        {"take.snd", Container::Wav, "take.wav"},
        {"take", Container::Aiff, "take.aiff"},
        // A leading dot is a hidden file's name, not an extension.
        {".take", Container::Wav, ".take.wav"},
        {"dir.d/take", Container::Ogg, "take.ogg"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(OutputFileName(c.input, c.format), c.output);
    }
}

}  // namespace
}  // namespace flanger::tool
