// "flanger process" end to end: the built command on files written here, its output compared
// bit for bit with what this test's own host gets from the module for the same samples and
// record values (after the same quantisation for integer encodings).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <vector>

#include "command_runner.h"
#include "reference_host.h"
#include "sample_comparison.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

struct ProcessCase {
    const char* name;
    const char* inputName;
    int inputFormat;
    int channels;
    int sampleRate;
    std::int64_t frames;
    std::vector<std::string> options;
    RecordValues record;  // what the options must amount to
    const char* outputName;
    int outputFormat;
};

bool IsFloatEncoding(int format) { return (format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT; }

// Several whole blocks and a partial one.
constexpr std::int64_t kFrames = 3 * kReferenceBlockFrames + 1234;

TEST(ProcessCommandTest, OutputIsTheModulesResultInTheChosenFormat) {
    const ProcessCase cases[] = {
        {"stereo 48 kHz float, defaults",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         2,
         48000,
         kFrames,
         {},
         {},
         "out.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"mono 16-bit, every option",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_PCM_16,
         1,
         44100,
         kFrames,
         {"--delay", "2.5", "--width", "7.25", "--speed", "1.5", "--depth", "0.55", "--feedback",
          "0.7", "--sweep", "sine"},
         {55, 25, 73, 1, 70, 150},
         "out.wav",
         SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"six channels, feedback off",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         6,
         22050,
         kFrames / 2,
         {"--feedback=0.3", "--no-feedback", "--speed=2"},
         {90, 50, 50, 0, -30, 200},
         "out.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"pcm24 to float",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_PCM_24,
         2,
         44100,
         kFrames,
         {"--encoding", "float", "--delay", "10", "--width", "1"},
         {90, 100, 10, 0, 10, 10},
         "out.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"float to pcm32 clips",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         2,
         44100,
         kFrames,
         {"--encoding", "pcm32", "--depth", "1"},
         {100, 50, 50, 0, 10, 10},
         "out.wav",
         SF_FORMAT_WAV | SF_FORMAT_PCM_32},
        {"wav to flac keeps pcm16",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_PCM_16,
         2,
         44100,
         kFrames,
         {"--format", "flac"},
         {},
         "out.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"float wav to flac",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         2,
         48000,
         kFrames,
         {"--format", "flac", "--sweep", "sine"},
         {90, 50, 50, 1, 10, 10},
         "out.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"flac kept",
         "in.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
         1,
         8000,
         kFrames,
         {"--feedback", "1.0"},
         {90, 50, 50, 0, 100, 10},
         "out.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"aiff 96 kHz kept",
         "in.aiff",
         SF_FORMAT_AIFF | SF_FORMAT_PCM_24,
         2,
         96000,
         kFrames,
         {"--depth", "0.1"},
         {10, 50, 50, 0, 10, 10},
         "out.aiff",
         SF_FORMAT_AIFF | SF_FORMAT_PCM_24},
        {"wav to aiff double",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         2,
         44100,
         kFrames,
         {"--format", "aiff", "--encoding", "double"},
         {},
         "out.aif",
         SF_FORMAT_AIFF | SF_FORMAT_DOUBLE},
        // Decoding is libsndfile's on both sides, so even a lossy input compares exactly.
        {"ogg to wav",
         "in.ogg",
         SF_FORMAT_OGG | SF_FORMAT_VORBIS,
         2,
         44100,
         kFrames,
         {"--format", "wav"},
         {},
         "out.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT},
    };
    for (const ProcessCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        WriteSound(d / c.inputName, c.inputFormat, c.channels, c.sampleRate,
                   TestSignal(c.channels, c.sampleRate, c.frames));
        const Sound input = ReadSound(d / c.inputName);

        std::vector<std::string> arguments = {"process", d / c.inputName, d / c.outputName,
                                              "--no-clip-warning"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const CommandResult run = RunFlanger(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.err, "") << "nothing on standard error when it is not a terminal";
        EXPECT_EQ(run.out, "");

        const Sound output = ReadSound(d / c.outputName);
        EXPECT_EQ(output.format, c.outputFormat)
            << FormatName(output.format) << " instead of " << FormatName(c.outputFormat);
        EXPECT_EQ(output.channels, c.channels);
        EXPECT_EQ(output.sampleRate, c.sampleRate);
        EXPECT_EQ(output.frames, input.frames);

        const std::vector<float> expected =
            ProcessWithModule(c.record, c.channels, c.sampleRate, input.samples);
        ASSERT_NE(expected, input.samples) << "the module left the signal unchanged";
        if (IsFloatEncoding(c.outputFormat)) {
            EXPECT_TRUE(SameSamples(output.samples, expected, c.channels));
        } else {
            // The module's floats stored the way libsndfile stores them with clipping on.
            const std::string stored = d / ("expected-" + std::string(c.outputName));
            WriteSound(stored, c.outputFormat, c.channels, c.sampleRate, expected);
            EXPECT_TRUE(
                SameSamples(ReadExactly(d / c.outputName), ReadExactly(stored), c.channels));
        }
    }
}

TEST(ProcessCommandTest, AnInputWithoutFramesGivesAnOutputWithoutFramesInEveryContainer) {
    struct Case {
        const char* outputName;
        const char* format;
        int container;
    };
    const Case cases[] = {
        {"out.wav", "wav", SF_FORMAT_WAV},
        {"out.flac", "flac", SF_FORMAT_FLAC},
        {"out.aiff", "aiff", SF_FORMAT_AIFF},
        {"out.ogg", "ogg", SF_FORMAT_OGG},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const ScratchDirectory d;
        WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 32000, {});
        const CommandResult run =
            RunFlanger({"process", d / "in.wav", d / c.outputName, "--format", c.format});
        ASSERT_EQ(run.exitStatus, 0) << run.err;

        // Read directly: a FLAC stream of no samples states no length, which ReadSound, sizing
        // its buffer from the length, would take for a huge one.
        SF_INFO info{};
        SNDFILE* const file = sf_open((d / c.outputName).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << "unreadable output: " << sf_strerror(nullptr);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, c.container);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.samplerate, 32000);
        float frame[2];
        EXPECT_EQ(sf_readf_float(file, frame, 1), 0);
        sf_close(file);
    }
}

}  // namespace
}  // namespace flanger::tool::test
