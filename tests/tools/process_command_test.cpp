// "flanger process" end to end: the built command on files written here, its output compared
// bit for bit with what this test's own host gets from the module for the same samples and
// record values (after the same quantisation for integer encodings).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
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

// Pipes: "-" as IN reads standard input, "-" as OUT writes standard output; the audio is the
// same, byte for byte, as from the same run between files.
TEST(ProcessCommandTest, StandardInputAndOutputCarryWhatFilesWouldHold) {
    struct PipeCase {
        const char* name;
        const char* inputName;
        int inputFormat;
        bool piped;       // through a pipe, else redirected from the file
        const char* out;  // "-" or a file name
        std::vector<std::string> options;
        const char* sameAs;  // the file OUT of the same run between files; nullptr: refused
        const char* error;   // the refusal's start
    };
    const PipeCase cases[] = {
        {"WAV redirected",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_PCM_16,
         false,
         "out.wav",
         {},
         "ref.wav",
         ""},
        {"WAV through a pipe",
         "in.wav",
         SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         true,
         "out.wav",
         {},
         "ref.wav",
         ""},
        {"AIFF through a pipe into a pipe",
         "in.aiff",
         SF_FORMAT_AIFF | SF_FORMAT_PCM_24,
         true,
         "-",
         {"--format", "aiff"},
         "ref.aiff",
         ""},
        {"standard output is WAV by default",
         "in.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
         false,
         "-",
         {},
         "ref.wav",
         ""},
        {"Ogg through a pipe into FLAC",
         "in.ogg",
         SF_FORMAT_OGG | SF_FORMAT_VORBIS,
         true,
         "-",
         {"--format", "flac"},
         "ref.flac",
         ""},
        {"FLAC redirected",
         "in.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
         false,
         "out.aiff",
         {},
         "ref.aiff",
         ""},
        {"FLAC through a pipe",
         "in.flac",
         SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
         true,
         "-",
         {},
         nullptr,
         "flanger: cannot read standard input as audio: Error : flac decoder lost sync; "
         "libsndfile reads FLAC, CAF, RF64 and other containers only from a file it can seek in"},
        {"CAF through a pipe",
         "in.caf",
         SF_FORMAT_CAF | SF_FORMAT_FLOAT,
         true,
         "out.wav",
         {},
         nullptr,
         "flanger: standard input holds CAF float; libsndfile reads FLAC, CAF"},
    };
    for (const PipeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ScratchDirectory d;
        WriteSound(d / c.inputName, c.inputFormat, 2, 44100, TestSignal(2, 44100, kFrames));
        const std::string out = std::string(c.out) == "-" ? "-" : d / c.out;
        std::vector<std::string> arguments = {"process", "-", out, "--no-clip-warning"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        CommandOptions options;
        options.standardInput = d / c.inputName;
        options.piped = c.piped;
        const CommandResult run = RunFlanger(arguments, options);
        if (c.sameAs == nullptr) {
            EXPECT_EQ(run.exitStatus, 1);
            EXPECT_EQ(run.err.substr(0, std::string(c.error).size()), c.error) << run.err;
            EXPECT_EQ(run.out, "") << "nothing but audio on standard output";
            EXPECT_EQ(d.Entries(), std::vector<std::string>{c.inputName});
            continue;
        }
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.err, "");

        std::vector<std::string> reference = {"process", d / c.inputName, d / c.sameAs,
                                              "--no-clip-warning"};
        reference.insert(reference.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(RunFlanger(reference).exitStatus, 0);
        const std::string expected = ReadBytes(d / c.sameAs);
        ASSERT_FALSE(expected.empty());
        EXPECT_TRUE((out == "-" ? run.out : ReadBytes(out)) == expected)
            << "the piped run's output differs from the file run's";
        if (out != "-") {
            EXPECT_EQ(run.out, "");
        }
    }
}

// Formats: OUT's extension names the container, for every container libsndfile writes here.
TEST(ProcessCommandTest, OutputContainerFollowsTheExtension) {
    struct FormatCase {
        const char* outputName;
        std::vector<std::string> options;
        int format;  // the output's libsndfile format word
    };
    const FormatCase cases[] = {
        {"out.WAV", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"out.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"out.aif", {}, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"out.oga", {}, SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"out.opus", {}, SF_FORMAT_OGG | SF_FORMAT_OPUS},
        {"out.mp3", {}, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
        {"out.caf", {}, SF_FORMAT_CAF | SF_FORMAT_PCM_16},
        {"out.w64", {"--encoding", "pcm24"}, SF_FORMAT_W64 | SF_FORMAT_PCM_24},
        {"out.rf64", {}, SF_FORMAT_RF64 | SF_FORMAT_PCM_16},
        {"out.snd", {"--encoding", "ulaw"}, SF_FORMAT_AU | SF_FORMAT_ULAW},
        {"out.raw", {"--encoding", "float"}, SF_FORMAT_RAW | SF_FORMAT_FLOAT},
        {"no-extension", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    };
    const ScratchDirectory d;
    // Opus takes 48 kHz, not 44.1.
    WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 48000,
               TestSignal(2, 48000, kFrames));
    const Sound input = ReadSound(d / "in.wav");
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.outputName);
        std::vector<std::string> arguments = {"process", d / "in.wav", d / c.outputName, "-q"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const CommandResult run = RunFlanger(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        SF_INFO info{};
        if ((c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) {
            info = SF_INFO{0, 48000, 2, c.format, 0, 0};
        }
        SNDFILE* const file = sf_open((d / c.outputName).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK), c.format)
            << FormatName(info.format);
        // Lossy encoders pad the stream; the others keep every frame.
        if (c.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16) ||
            (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) {
            EXPECT_EQ(info.frames, input.frames);
        }
        sf_close(file);
    }
}

// Warnings: clipping once per file with its count and peak, silenced by --no-clip-warning and
// -q; an input that reads short.
TEST(ProcessCommandTest, WarnsOfClippingAndShortInputs) {
    const ScratchDirectory d;
    WriteSound(d / "in.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100,
               TestSignal(2, 44100, kFrames));
    WriteSound(d / "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100,
               TestSignal(2, 44100, kFrames));
    for (const char* name : {"in.wav", "in.flac"}) {
        const std::string whole = ReadBytes(d / name);
        WriteBytes(d / ("cut-" + std::string(name)), whole.substr(0, whole.size() * 2 / 3));
    }
    const Sound input = ReadSound(d / "in.wav");
    const std::vector<float> processed = ProcessWithModule({}, 2, 44100, input.samples);
    std::size_t clipped = 0;
    float peak = 0.0F;
    for (const float sample : processed) {
        if (std::fabs(sample) > 1.0F) {
            ++clipped;
            peak = std::max(peak, std::fabs(sample));
        }
    }
    ASSERT_GT(clipped, 0u);
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "peak %.3f, %+.1f dBFS", peak, 20.0 * std::log10(peak));
    const std::string clipping = "flanger: warning: '" + d / "out.wav" +
                                 "': " + std::to_string(clipped) +
                                 " samples beyond full scale clipped (" + numbers +
                                 "); lower --depth or --feedback, or write --encoding float\n";

    struct WarningCase {
        const char* name;
        std::vector<std::string> arguments;  // after "process"; OUT is out.wav
        std::string err;                     // exactly, or its start when `prefix`
        bool prefix;
        int exitStatus = 0;
    };
    const WarningCase cases[] = {
        {"integer output clips", {"in.wav"}, clipping, false},
        {"--no-clip-warning", {"in.wav", "--no-clip-warning"}, "", false},
        {"-q", {"in.wav", "-q"}, "", false},
        {"float output keeps every value", {"in.wav", "--encoding", "float"}, "", false},
        {"a WAV cut short",
         {"cut-in.wav", "--encoding", "float"},
         "flanger: warning: '" + d / "cut-in.wav" + "' is truncated or damaged (data : ",
         true},
        // A decoder that loses its way fails the run: no output at all.
        {"a FLAC cut short",
         {"cut-in.flac", "--encoding", "float"},
         "flanger: cannot read the input: Error : flac decoder lost sync",
         true,
         1},
        {"--quiet on a cut file", {"cut-in.wav", "--quiet"}, "", false},
    };
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments = {"process", d / c.arguments[0], d / "out.wav"};
        arguments.insert(arguments.end(), c.arguments.begin() + 1, c.arguments.end());
        const CommandResult run = RunFlanger(arguments);
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
        if (c.prefix) {
            EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "once: " << run.err;
        } else {
            EXPECT_EQ(run.err, c.err);
        }
    }
}

// Tags: the input's text tags in every output container that holds them; lossy outputs at the
// quality or bitrate asked for.
TEST(ProcessCommandTest, CopiesTagsAndSetsLossyEncoders) {
    const ScratchDirectory d;
    const std::vector<std::pair<int, std::string>> tags = {{SF_STR_TITLE, "Take Five"},
                                                           {SF_STR_ARTIST, "Quartet"},
                                                           {SF_STR_COMMENT, "flanged"},
                                                           {SF_STR_ALBUM, "Time Out"},
                                                           {SF_STR_DATE, "1959"}};
    {
        SF_INFO info{0, 48000, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
        SNDFILE* const file = sf_open((d / "in.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        for (const auto& [tag, text] : tags) sf_set_string(file, tag, text.c_str());
        const std::vector<float> signal = TestSignal(2, 48000, 5 * 48000);
        sf_writef_float(file, signal.data(), 5 * 48000);
        sf_close(file);
    }
    struct TagCase {
        const char* outputName;
        std::vector<std::string> options;
        std::size_t tagsKept;  // the first this many of `tags`: AIFF holds no album or date
        double kbps;           // the output's average bitrate within 10 %; 0: not checked
    };
    const TagCase cases[] = {
        {"out.wav", {}, 5, 0.0},
        {"out.flac", {}, 5, 0.0},
        {"out.aiff", {}, 3, 0.0},
        {"out.ogg", {"--quality", "5"}, 5, 0.0},
        {"out.mp3", {"--bitrate", "128"}, 5, 128.0},
        {"out.opus", {"--bitrate", "96"}, 5, 96.0},
        {"low.mp3", {"--bitrate", "64"}, 5, 64.0},
    };
    for (const TagCase& c : cases) {
        SCOPED_TRACE(c.outputName);
        std::vector<std::string> arguments = {"process", d / "in.wav", d / c.outputName, "-q"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const CommandResult run = RunFlanger(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        SF_INFO info{};
        SNDFILE* const file = sf_open((d / c.outputName).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        for (std::size_t i = 0; i < c.tagsKept; ++i) {
            const auto& [tag, text] = tags[i];
            const char* const read = sf_get_string(file, tag);
            EXPECT_EQ(read == nullptr ? "(none)" : std::string(read), text) << "tag " << tag;
        }
        sf_close(file);
        if (c.kbps > 0.0) {
            const double kbps =
                static_cast<double>(ReadBytes(d / c.outputName).size()) * 8.0 / 1000.0 / 5.0;
            EXPECT_NEAR(kbps, c.kbps, c.kbps * 0.1);
        }
    }
    // --bitrate is for the codecs that take one.
    const CommandResult vorbis =
        RunFlanger({"process", d / "in.wav", d / "x.ogg", "--bitrate", "128"});
    EXPECT_EQ(vorbis.exitStatus, 1);
    EXPECT_NE(vorbis.err.find("--bitrate sets MP3 and Opus; Ogg vorbis takes --quality"),
              std::string::npos)
        << vorbis.err;
}

}  // namespace
}  // namespace flanger::tool::test
