// "flanger process" end to end: the built command on files written here, its output compared
// bit for bit with what this test's own host gets from the module for the same samples and
// record values (after the same quantisation for integer encodings).
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <limits>
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
         {"--feedback", "0.99"},
         {90, 50, 50, 0, 99, 10},
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
        {"5.1 extensible stays extensible",
         "in.wav",
         SF_FORMAT_WAVEX | SF_FORMAT_FLOAT,
         6,
         48000,
         kFrames / 2,
         {},
         {},
         "out.wav",
         SF_FORMAT_WAVEX | SF_FORMAT_FLOAT},
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

constexpr int kWav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kFlac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;

// "process IN OUT OPTION VALUE" with IN and OUT in `d` unless "-"; OPTION left out when empty.
CommandResult Process(const ScratchDirectory& d, const std::string& in, const std::string& out,
                      std::vector<std::string> options, const CommandOptions& how = {}) {
    const auto at = [&d](const std::string& name) { return name == "-" ? name : d / name; };
    options.insert(options.begin(), {"process", at(in), at(out)});
    return RunFlanger(options, how);
}

// Pipes: "-" as IN reads standard input, "-" as OUT writes standard output; the audio is the
// same, byte for byte, as from the same run between files, or the refusal says why.
TEST(ProcessCommandTest, StandardInputAndOutputCarryWhatFilesWouldHold) {
    struct PipeCase {
        const char* input;
        int format;
        bool piped;             // through a pipe, else redirected from the file
        const char* out;        // "-" or a file name
        const char* container;  // --format, or empty
        std::string same;       // the OUT of the same run between files, or the refusal
        // Written to the pipe as it comes: the header's sizes say "until the end" (0xFFFFFFFF)
        // at these offsets; else spooled and copied whole.
        std::vector<std::size_t> unknownSizes = {};
    };
    const std::string seekable = "libsndfile reads FLAC, CAF, RF64 and other containers only";
    const PipeCase cases[] = {
        {"in.wav", kWav16, false, "out.wav", "", "ref.wav"},
        {"in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, true, "out.wav", "", "ref.wav"},
        {"in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, true, "-", "aiff", "ref.aiff"},
        {"in.flac", kFlac16, false, "-", "", "ref.wav"},  // WAV by default, finished in a file
        {"in.wav", kWav16, true, "-", "", "ref.wav", {4, 40}},
        {"in.raw", SF_FORMAT_RAW | SF_FORMAT_FLOAT, true, "out.wav", "", "ref.wav"},
        {"in.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, true, "-", "au", "ref.au", {8}},
        {"in.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, true, "-", "flac", "ref.flac"},
        {"in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, false, "out.aiff", "", "ref.aiff"},
        {"in.flac", kFlac16, true, "-", "",
         "flanger: cannot read standard input as audio: flac decoder lost sync; " + seekable},
        {"in.caf", SF_FORMAT_CAF | SF_FORMAT_FLOAT, true, "out.wav", "",
         "flanger: standard input holds CAF float; " + seekable},
    };
    for (const PipeCase& c : cases) {
        SCOPED_TRACE(std::string(c.input) + (c.piped ? " | " : " < ") + c.out);
        const ScratchDirectory d;
        WriteSound(d / c.input, c.format, 2, 44100, TestSignal(2, 44100, kFrames));
        std::vector<std::string> options = {"--no-clip-warning"};
        if (*c.container != '\0') options.insert(options.end(), {"--format", c.container});
        if (std::string(c.input).ends_with(".raw")) {
            options.insert(options.end(),
                           {"--rate", "44100", "--channels", "2", "--input-encoding", "float"});
        }
        const CommandResult run =
            Process(d, "-", c.out, options, {{}, {}, -1, d / c.input, c.piped});
        if (c.same.starts_with("flanger: ")) {
            EXPECT_EQ(run.exitStatus, 1);
            EXPECT_EQ(run.err.substr(0, c.same.size()), c.same) << run.err;
            EXPECT_EQ(run.out, "") << "nothing but audio on standard output";
            EXPECT_EQ(d.Entries(), std::vector<std::string>{c.input});
            continue;
        }
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.err, "");
        ASSERT_EQ(Process(d, c.input, c.same, options).exitStatus, 0);
        std::string expected = ReadBytes(d / c.same);
        ASSERT_FALSE(expected.empty());
        for (const std::size_t at : c.unknownSizes) expected.replace(at, 4, 4, '\xFF');
        const bool toOutput = std::string(c.out) == "-";
        EXPECT_TRUE((toOutput ? run.out : ReadBytes(d / c.out)) == expected) << "not as from files";
        EXPECT_TRUE(toOutput || run.out.empty()) << "nothing but audio on standard output";
    }
}

// Formats and tags: OUT's extension names the container, for every container libsndfile writes
// here; the input's text tags go into every one that holds them; lossy outputs at the bitrate
// asked for.
TEST(ProcessCommandTest, OutputContainerFollowsTheExtensionAndKeepsTheTags) {
    struct FormatCase {
        const char* out;
        std::vector<std::string> options;
        int format;            // the output's libsndfile format word
        std::size_t tagsKept;  // the first this many of `tags`: AIFF holds no album or date
        double kbps = 0.0;     // the output's average bitrate within 10 %; 0: not checked
        const char* in = "in.wav";
    };
    const FormatCase cases[] = {
        {"out.WAV", {}, kWav16, 5},
        {"out.flac", {}, kFlac16, 5},
        {"out.aif", {}, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 3},
        {"out.oga", {"--quality", "5"}, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 5},
        {"out.opus", {"--bitrate", "96"}, SF_FORMAT_OGG | SF_FORMAT_OPUS, 5, 96.0},
        {"out.mp3", {"--bitrate", "128"}, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 5, 128.0},
        {"q0.mp3", {"--quality", "0"}, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 5},
        {"in192.mp3", {"--bitrate", "192"}, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 5, 192.0},
        {"kept.mp3", {}, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 5, 192.0, "in192.mp3"},
        {"out.caf", {}, SF_FORMAT_CAF | SF_FORMAT_PCM_16, 0},
        {"out.w64", {"--encoding", "pcm24"}, SF_FORMAT_W64 | SF_FORMAT_PCM_24, 0},
        {"out.rf64", {}, SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 5},
        {"out.snd", {"--encoding", "ulaw"}, SF_FORMAT_AU | SF_FORMAT_ULAW, 0},
        {"out.raw", {"--encoding", "float"}, SF_FORMAT_RAW | SF_FORMAT_FLOAT, 0},
        {"no-extension", {}, kWav16, 5},
    };
    const ScratchDirectory d;
    const std::pair<int, std::string> tags[] = {{SF_STR_TITLE, "Take Five"},
                                                {SF_STR_ARTIST, "Quartet"},
                                                {SF_STR_COMMENT, "flanged"},
                                                {SF_STR_ALBUM, "Time Out"},
                                                {SF_STR_DATE, "1959"}};
    // Opus takes 48 kHz, not 44.1.
    SF_INFO format{0, 48000, 2, kWav16, 0, 0};
    SNDFILE* const input = sf_open((d / "in.wav").c_str(), SFM_WRITE, &format);
    ASSERT_NE(input, nullptr);
    for (const auto& [tag, text] : tags) sf_set_string(input, tag, text.c_str());
    const std::vector<float> signal = TestSignal(2, 48000, 5 * 48000);
    sf_writef_float(input, signal.data(), 5 * 48000);
    sf_close(input);
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.out);
        std::vector<std::string> options = c.options;
        options.push_back("-q");
        const CommandResult run = Process(d, c.in, c.out, options);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        const bool raw = (c.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW;
        SF_INFO info{0, 48000, 2, raw ? c.format : 0, 0, 0};
        SNDFILE* const file = sf_open((d / c.out).c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK), c.format)
            << FormatName(info.format);
        // Lossy encoders pad the stream; the others keep every frame.
        EXPECT_TRUE(info.frames == 5 * 48000 || c.format != kWav16) << info.frames;
        for (std::size_t i = 0; i < c.tagsKept; ++i) {
            const char* const read = sf_get_string(file, tags[i].first);
            EXPECT_EQ(read == nullptr ? "(none)" : std::string(read), tags[i].second);
        }
        sf_close(file);
        const double kbps = static_cast<double>(ReadBytes(d / c.out).size()) * 8.0 / 5000.0;
        EXPECT_TRUE(c.kbps == 0.0 || std::fabs(kbps - c.kbps) <= c.kbps * 0.1) << kbps;
    }
    // --bitrate is for the codecs that take one.
    EXPECT_NE(Process(d, "in.wav", "x.ogg", {"--bitrate", "128"})
                  .err.find("--bitrate sets MP3 and Opus; Ogg vorbis takes --quality"),
              std::string::npos);
}

// Warnings: clipping once per file with its count and peak, silenced by --no-clip-warning and
// -q; an input that reads short.
TEST(ProcessCommandTest, WarnsOfClippingAndShortInputs) {
    const ScratchDirectory d;
    WriteSound(d / "in.wav", kWav16, 2, 44100, TestSignal(2, 44100, kFrames));
    WriteSound(d / "in.flac", kFlac16, 2, 44100, TestSignal(2, 44100, kFrames));
    WriteSound(d / "in.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100,
               TestSignal(2, 44100, kFrames));
    for (const std::string name : {"in.wav", "in.flac", "in.ogg"}) {
        const std::string whole = ReadBytes(d / name);
        WriteBytes(d / ("cut-" + name), whole.substr(0, whole.size() * 2 / 3));
    }
    std::string sevenChannels = ReadBytes(d / "in.wav").substr(0, 4044);  // 4-byte frames
    sevenChannels[22] = 7;
    WriteBytes(d / "bad7.wav", sevenChannels);
    std::vector<float> poisoned = TestSignal(2, 44100, kFrames);
    poisoned[301] = std::numeric_limits<float>::quiet_NaN();
    poisoned[1000] = -std::numeric_limits<float>::infinity();
    WriteSound(d / "nan.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, poisoned);
    // The level that keeps `peak` at -0.1 dBFS or below, as --gain writes it.
    const auto levelFor = [](double peak) {
        int tenths = 0;
        while (static_cast<float>(peak * std::pow(10.0, tenths / 200.0)) >
               std::pow(10.0, -0.1 / 20.0)) {
            --tenths;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%.1f", tenths / 10.0);
        return std::string(text);
    };
    const auto advice = [&](double peak) {
        char text[32];
        std::snprintf(text, sizeof text, "%+.1f dBFS)", 20.0 * std::log10(peak));
        return text + ("; --gain " + levelFor(peak) + " would avoid it (or --gain auto)");
    };
    std::size_t clipped = 0;
    float peak = 0.0F;
    for (const float y : ProcessWithModule({}, 2, 44100, ReadSound(d / "in.wav").samples)) {
        clipped += std::fabs(y) > 1.0F ? 1 : 0;
        peak = std::max(peak, std::fabs(y));
    }
    ASSERT_GT(clipped, 0u);
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "peak %.3f, ", peak);
    const std::string clipping = "flanger: warning: '" + d / "out.wav" +
                                 "': " + std::to_string(clipped) +
                                 " samples beyond full scale clipped (" + numbers + advice(peak) +
                                 "\n";
    const auto peaks = [&](const std::string& out) {
        return "flanger: warning: '" + d / out + "': peaks at " +
               advice(peak).substr(0, advice(peak).find(')')) + "; will clip when played" +
               advice(peak).substr(advice(peak).find(')') + 1) + "\n";
    };
    struct WarningCase {
        std::vector<std::string> arguments;  // IN, then options
        std::string err;                     // exactly, or its start when it ends in ": "
        int exitStatus = 0;
        std::string out = "out.wav";
    };
    const WarningCase cases[] = {
        {{"in.wav"}, clipping},
        {{"in.wav", "--no-clip-warning"}, ""},
        {{"in.wav", "-q"}, ""},
        // Nothing clips in the file, but it will when played.
        {{"in.wav", "--encoding", "float"}, peaks("out.wav")},
        {{"in.wav"}, peaks("out.mp3"), 0, "out.mp3"},
        {{"in.wav", "--gain", "auto"}, "flanger: note: '" + d / "out.mp3" + "': --gain auto", 0,
         "out.mp3"},
        {{"in.wav", "--gain", levelFor(peak)}, ""},
        {{"in.wav", "--gain", "auto", "--encoding", "float"},
         "flanger: note: '" + d / "out.wav" + "': --gain auto chose " + levelFor(peak) + " dB ("},
        {{"-", "--gain", "auto"}, "flanger: --gain auto reads the input twice, and standard ", 1},
        {{"cut-in.wav", "--encoding", "float", "--gain", "-12"},
         "flanger: warning: '" + d / "cut-in.wav" + "' is truncated or damaged (data : "},
        {{"cut-in.wav", "--quiet"}, ""},
        // A decoder that loses its way ends the audio there.
        {{"cut-in.flac", "--no-clip-warning"},
         "flanger: warning: '" + d / "cut-in.flac" +
             "' is truncated or damaged (the decoder stopped: flac decoder lost sync)"},
        {{"cut-in.ogg", "--no-clip-warning"},
         "flanger: warning: '" + d / "cut-in.ogg" +
             "' is truncated or damaged (its Ogg stream has no end)"},
        {{"bad7.wav"},
         "flanger: '" + d / "bad7.wav" +
             "' is damaged: its header says 7 channels in 4-byte frames\n",
         1},
        {{"nan.wav", "--no-clip-warning"},
         "flanger: warning: '" + d / "nan.wav" +
             "' holds 2 samples that are not a number (NaN or infinite); taken as silence\n"},
        {{"in.wav", "--quality", "5", "--no-clip-warning"},
         "flanger: warning: '" + d / "out.wav" +
             "' is WAV pcm16, which is lossless: --quality does not apply\n"},
    };
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.arguments[1 % c.arguments.size()]);
        const CommandResult run =
            Process(d, c.arguments[0], c.out, {c.arguments.begin() + 1, c.arguments.end()},
                    {{}, {}, -1, c.arguments[0] == "-" ? d / "in.wav" : "", true});
        EXPECT_EQ(run.exitStatus, c.exitStatus) << run.err;
        const bool whole = c.err.empty() || c.err.ends_with('\n');
        EXPECT_EQ(whole ? run.err : run.err.substr(0, c.err.size()), c.err) << run.err;
        EXPECT_TRUE(run.err.find('\n') + 1 >= run.err.size()) << "one line: " << run.err;
    }
    // --gain auto: the largest level whose peak stays at -0.1 dBFS or below.
    ASSERT_EQ(Process(d, "in.wav", "auto.wav", {"--gain", "auto", "--encoding", "float"}).exitStatus,
              0);
    float autoPeak = 0.0F;
    for (const float y : ReadSound(d / "auto.wav").samples) autoPeak = std::max(autoPeak, std::fabs(y));
    EXPECT_LE(autoPeak, std::pow(10.0, -0.1 / 20.0));
    EXPECT_GT(autoPeak, std::pow(10.0, -0.2 / 20.0));
}

}  // namespace
}  // namespace flanger::tool::test
