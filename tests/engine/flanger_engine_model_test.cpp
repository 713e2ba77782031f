// Long runs of the engine compared bit for bit with the straightforward model, over sample
// rates, channel counts, both sweeps, feedback on and off, and parameters at the ends of the
// ranges the settings window offers. Buffers come in irregular sizes (0 and 1 frame included)
// so that state carried between buffers is checked too. Every case runs with each instruction
// set this build and processor offer, so the vector kernels are held to the model as well, and
// through the live mode with settings that never change. Corners a stored preset reaches are in
// too: no delay, no width, sample rate 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "engine/live_flanger.h"
#include "engine_test_support.h"

namespace flanger::testing {
namespace {

struct ModelCase {
    std::uint32_t sampleRate;
    std::uint16_t channels;
    bool sineMode;
    bool feedbackOn;
    int depth;     // hundredths
    int delay;     // tenths of a millisecond
    int width;     // tenths of a millisecond
    int feedback;  // hundredths
    int speed;     // hundredths of a hertz
    std::size_t frames;
    InstructionSet set = InstructionSet::Portable;
};

std::string Describe(const ModelCase& c) {
    std::ostringstream text;
    text << c.sampleRate << "Hz_" << c.channels << "ch_" << (c.sineMode ? "sine" : "triangle")
         << (c.feedbackOn ? "_fb" : "_nofb") << c.feedback << "_depth" << c.depth << "_delay"
         << c.delay << "_width" << c.width << "_speed" << c.speed << "_" << c.frames << "_"
         << InstructionSetName(c.set);
    return text.str();
}

ReferenceParameters ToParameters(const ModelCase& c) {
    // Scaled as the module scales the settings record.
    ReferenceParameters p;
    p.depthGain = static_cast<double>(c.depth) * 0.01;
    p.delayMs = static_cast<double>(c.delay) * 0.1;
    p.widthMs = static_cast<double>(c.width) * 0.1;
    p.sineMode = c.sineMode;
    p.feedbackOn = c.feedbackOn;
    p.feedbackGain = c.feedbackOn ? static_cast<double>(c.feedback) * 0.01 : 0.0;
    p.speedHz = static_cast<double>(c.speed) * 0.01;
    return p;
}

std::vector<ModelCase> Cases() {
    struct Setting {
        int depth, delay, width, feedback, speed;
    };
    // The defaults, the corners of the window's ranges, no delay, no delay nor width.
    const Setting settings[] = {
        {90, 50, 50, 10, 10},     {10, 10, 10, 10, 10},   {100, 100, 100, 100, 200},
        {100, 10, 100, 100, 200}, {10, 100, 10, 100, 10}, {55, 10, 100, 45, 200},
        {90, 0, 50, 10, 200},     {90, 0, 0, 10, 10},
    };
    std::vector<ModelCase> cases;
    for (std::uint32_t rate : {8000u, 44100u, 96000u}) {
        for (std::uint16_t channels : {std::uint16_t{1}, std::uint16_t{2}}) {
            for (bool sine : {false, true}) {
                for (bool feedback : {true, false}) {
                    for (const Setting& s : settings) {
                        cases.push_back({rate, channels, sine, feedback, s.depth, s.delay, s.width,
                                         s.feedback, s.speed, 60000});
                    }
                }
            }
        }
    }
    // A long run through several triangle periods at the fastest sweep, and at 192 kHz.
    cases.push_back({44100, 2, false, true, 100, 100, 100, 100, 200, 600000});
    cases.push_back({192000, 2, true, true, 90, 50, 50, 10, 10, 200000});
    cases.push_back({192000, 1, false, false, 100, 10, 100, 10, 200, 200000});
    // More channels than the kernels hold in registers.
    cases.push_back({44100, 3, true, true, 100, 10, 100, 100, 200, 60000});
    // No delay at the slowest sine: 453 frames of one trough lie below 0, two of them at write
    // position 0; at low rates with troughs on frames, many at write position 0 of short rings.
    cases.push_back({44100, 1, true, false, 90, 0, 50, 10, 10, 400000});
    cases.push_back({100, 2, true, true, 90, 0, 1000, 90, 2500, 30000});
    cases.push_back({4, 1, true, false, 90, 0, 5000, 10, 100, 30000});
    // Sample rate 0: the triangle sweeps lines of two elements.
    cases.push_back({0, 2, false, true, 90, 50, 50, 10, 10, 60000});

    std::vector<ModelCase> everySet;
    for (InstructionSet set : AllInstructionSets()) {
        for (ModelCase c : cases) {
            c.set = set;
            everySet.push_back(c);
        }
    }
    return everySet;
}

class FlangerEngineMatchesModel : public ::testing::TestWithParam<ModelCase> {};

// Irregular buffer sizes: 0 and 1 frame, small primes, a host's usual 512 and 4096, and blocks
// of 64 in a row, each going on with the sweep's stretch and the kernels' run of the one before.
const std::vector<std::uint32_t> kBufferSizes = {0,    1, 7,  512, 4096, 333, 1,
                                                 2048, 0, 97, 64,  64,   64,  64};

// The model's output for `input`, all in one call.
Channels RunModel(ReferenceFlanger& model, const Channels& input) {
    auto output = input;
    std::vector<float*> pointers;
    for (auto& channel : output) pointers.push_back(channel.data());
    model.Process(pointers, static_cast<std::uint32_t>(input.front().size()));
    return output;
}

TEST_P(FlangerEngineMatchesModel, BitForBit) {
    const ModelCase& c = GetParam();
    const ReferenceParameters params = ToParameters(c);
    auto engine = OpenEngine(params, c.sampleRate, c.channels);
    if (!engine->UseInstructionSet(c.set)) GTEST_SKIP() << "this processor lacks the set";
    ReferenceFlanger model(params, c.sampleRate, c.channels);

    const auto input = WhiteNoise(c.channels, c.frames, c.sampleRate + c.channels * 7u);
    const Channels expected = RunModel(model, input);

    auto processed = input;
    InBuffersOf(kBufferSizes, c.frames, [&](std::size_t offset, std::uint32_t size) {
        ProcessSpan(*engine, processed, offset, size);
    });
    ExpectSameBits(processed, expected, "engine");
    EXPECT_EQ(engine->SweepPosition(), model.Position());
    EXPECT_EQ(engine->WriteIndexPosition(), model.WriteIndex());

    // The live mode, its settings never changing, gives the same bits from lines sized for
    // the largest settings. It takes a Delay or Width beyond its largest as the largest (a
    // host's controls end there), so such a row holds it to the model with those: at the low
    // rates they still read below 0 at write position 0 of rings of one and two frames.
    LiveFlanger live;
    if (c.sampleRate == 0) {
        // The live mode refuses sample rate 0, where its transitions, timed in milliseconds,
        // would have no length; the engine's half of the case has run.
        EXPECT_FALSE(live.Activate(c.sampleRate, c.channels));
        return;
    }
    ASSERT_TRUE(live.Activate(c.sampleRate, c.channels));
    ASSERT_TRUE(live.UseInstructionSet(c.set));
    ModelCase bounded = c;
    bounded.delay = std::min(c.delay, LiveFlanger::kLargestDelay);
    bounded.width = std::min(c.width, LiveFlanger::kLargestWidth);
    ReferenceFlanger boundedModel(ToParameters(bounded), c.sampleRate, c.channels);
    const Channels liveExpected = bounded.delay == c.delay && bounded.width == c.width
                                      ? expected
                                      : RunModel(boundedModel, input);
    const LiveSettings settings{
        c.depth, c.delay, c.width, c.sineMode ? 1 : 0, c.feedbackOn ? c.feedback : -c.feedback,
        c.speed};
    auto liveProcessed = input;
    InBuffersOf(kBufferSizes, c.frames, [&](std::size_t offset, std::uint32_t size) {
        std::vector<float*> pointers;
        for (auto& channel : liveProcessed) pointers.push_back(channel.data() + offset);
        live.Process(pointers.data(), c.channels, size, settings);
    });
    ExpectSameBits(liveProcessed, liveExpected, "live");
    EXPECT_TRUE(live.Settled());
}

INSTANTIATE_TEST_SUITE_P(LongRuns, FlangerEngineMatchesModel, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ModelCase>& info) {
                             return Describe(info.param);
                         });

}  // namespace
}  // namespace flanger::testing
