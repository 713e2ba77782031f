// "flanger demo": ten seconds of the built-in signal through a record with the defaults, in the
// container OUT's extension names.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <string>
#include <vector>

#include "command_runner.h"
#include "processing/demo_signal.h"
#include "reference_host.h"
#include "sample_comparison.h"
#include "scratch_directory.h"
#include "test_sound.h"

namespace flanger::tool::test {
namespace {

// The whole built-in signal, interleaved.
std::vector<float> DemoSamples() {
    DemoSignal signal;
    std::vector<float> left(kReferenceBlockFrames);
    std::vector<float> right(kReferenceBlockFrames);
    float* const channels[] = {left.data(), right.data()};
    std::vector<float> samples;
    while (const std::uint32_t frames = signal.Read(channels, kReferenceBlockFrames)) {
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            samples.push_back(left[frame]);
            samples.push_back(right[frame]);
        }
    }
    return samples;
}

struct DemoCase {
    const char* out;
    std::vector<std::string> options;
    int format;
    bool exact;  // false for lossy encodings
};

TEST(DemoCommandTest, WritesTheSignalThroughTheDefaultRecord) {
    const DemoCase cases[] = {
        {"demo.wav", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
        {"demo.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
        {"demo", {}, SF_FORMAT_WAV | SF_FORMAT_PCM_16, true},
        {"demo.bin",
         {"--format", "aiff", "--encoding", "float"},
         SF_FORMAT_AIFF | SF_FORMAT_FLOAT,
         true},
        {"demo.ogg", {}, SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
    };
    const std::vector<float> signal = DemoSamples();
    ASSERT_EQ(signal.size(), 2u * 441000u);
    const std::vector<float> processed = ProcessWithModule({}, 2, 44100, signal);
    ASSERT_NE(processed, signal);
    const ScratchDirectory d;
    for (const DemoCase& c : cases) {
        SCOPED_TRACE(c.out);
        std::vector<std::string> arguments = {"demo", d / c.out};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const CommandResult run = RunFlanger(arguments);
        ASSERT_EQ(run.exitStatus, 0) << run.err;

        const Sound demo = ReadSound(d / c.out);
        EXPECT_EQ(demo.format, c.format) << FormatName(demo.format);
        EXPECT_EQ(demo.channels, 2);
        EXPECT_EQ(demo.sampleRate, 44100);
        EXPECT_EQ(demo.frames, 441000);
        if (!c.exact) continue;
        const std::string stored = d / (std::string("expected-") + c.out);
        WriteSound(stored, c.format, 2, 44100, processed);
        EXPECT_TRUE(SameSamples(ReadExactly(d / c.out), ReadExactly(stored), 2));
    }
}

TEST(DemoCommandTest, SignalIsLoudButLeavesHeadroomForTheEffect) {
    const std::vector<float> signal = DemoSamples();
    float peak = 0.0f;
    for (const float sample : signal) peak = std::max(peak, std::abs(sample));
    EXPECT_GT(peak, 0.2f);
    // The processed file must not clip at 16 bits.
    const std::vector<float> processed = ProcessWithModule({}, 2, 44100, signal);
    float processedPeak = 0.0f;
    for (const float sample : processed) processedPeak = std::max(processedPeak, std::abs(sample));
    EXPECT_LT(processedPeak, 1.0f);
}

}  // namespace
}  // namespace flanger::tool::test
