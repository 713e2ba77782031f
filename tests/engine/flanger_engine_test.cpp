// The engine's documented numbers and its behaviour at the edges of what a host may hand it.
#include "engine/flanger_engine.h"
#include "engine/live_flanger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

#include "engine_test_support.h"

namespace flanger::testing {
namespace {

ReferenceParameters Defaults() { return {}; }

ReferenceParameters SineDefaults() {
    ReferenceParameters p;
    p.sineMode = true;
    return p;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(FlangerEngineOpen, DerivesLineAndSweepFromParameters) {
    struct Case {
        const char* name;
        ReferenceParameters params;
        std::uint32_t sampleRate;
        std::int32_t lineLength;
        double sweepBase;
        double sweepPos;
        double sweepStep;
        double amplitude;
    };
    ReferenceParameters shortDelayWideSweep;
    shortDelayWideSweep.delayMs = 1.0;
    shortDelayWideSweep.widthMs = 10.0;
    const Case cases[] = {
        {"defaults, triangle", Defaults(), 44100, 443, 220.5, 220.5, 0.001, 110.25},
        // The sine's centre: 220.5 + 220.5 * 0.0004999975000124999 * 1000 / 1000.
        {"defaults, sine", SineDefaults(), 44100, 443,
         220.5 + (44100.0 * 5.0) * 0.0004999975000124999, 220.5, 0.001, 110.25},
        // ((1.0 + 10.0) * 0.001) * 11025 is 121.27499999999999: truncated, plus 2.
        {"truncated line", shortDelayWideSweep, 11025, 123, 11.025, 11.025, (0.1 * 10.0) * 0.002,
         55.125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = OpenEngine(c.params, c.sampleRate, 2);
        EXPECT_FALSE(engine->PassThrough());
        EXPECT_EQ(engine->LineLengthFrames(), c.lineLength);
        EXPECT_EQ(engine->RingLengthFrames(), c.lineLength - 1);
        EXPECT_EQ(engine->SweepBasePosition(), c.sweepBase);
        EXPECT_EQ(engine->SweepPosition(), c.sweepPos);
        EXPECT_EQ(engine->SweepStepFrames(), c.sweepStep);
        EXPECT_EQ(engine->SweepOscillator().AmplitudeValue(), c.amplitude);
        EXPECT_EQ(engine->WriteIndexPosition(), 0);
        EXPECT_EQ(engine->StreamSampleRate(), c.sampleRate);
        EXPECT_EQ(engine->StreamChannels(), 2u);
        for (std::uint32_t j = 0; j < 2; ++j) {
            const float* line = engine->DelayLine(j);
            ASSERT_NE(line, nullptr);
            for (std::int32_t k = 0; k < c.lineLength; ++k) ASSERT_EQ(line[k], 0.0f);
        }
    }
    EXPECT_NEAR(OpenEngine(SineDefaults(), 44100, 1)->SweepBasePosition(), 330.749449, 1e-6);
}

TEST(FlangerEngineImpulse, DelayedCopiesAppearWhereTheSweepPutsThem) {
    struct Echo {
        std::size_t frame;
        double value;
    };
    struct Case {
        const char* name;
        ReferenceParameters params;
        std::vector<Echo> echoes;  // every other frame before 442 is silent
        bool feedbackEchoesAfterRing;
    };
    ReferenceParameters still;  // Depth 100, Speed 0, feedback off: a fixed 221.5-frame delay
    still.depthGain = 1.0;
    still.speedHz = 0.0;
    still.feedbackOn = false;
    still.feedbackGain = 0.0;
    const Case cases[] = {
        {"defaults", Defaults(), {{0, 1.0}, {221, 0.6489}, {222, 0.2502}}, true},
        {"fixed delay", still, {{0, 1.0}, {221, 0.5}, {222, 0.5}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = OpenEngine(c.params, 44100, 1);
        std::vector<std::vector<float>> signal(1, std::vector<float>(2000, 0.0f));
        signal[0][0] = 1.0f;
        ProcessSpan(*engine, signal, 0, 2000);
        for (std::size_t frame = 0; frame < 442; ++frame) {
            double expected = 0.0;
            for (const Echo& echo : c.echoes) {
                if (echo.frame == frame) expected = echo.value;
            }
            ASSERT_NEAR(signal[0][frame], expected, 0.00005) << "frame " << frame;
        }
        double later = 0.0;
        for (std::size_t frame = 442; frame < 2000; ++frame) later += std::fabs(signal[0][frame]);
        if (c.feedbackEchoesAfterRing) {
            EXPECT_GT(later, 0.0);
            EXPECT_LT(later, 0.2);  // feedback 0.1 times the depth-weighted echo: smaller
        } else {
            EXPECT_EQ(later, 0.0);
        }
    }
}

TEST(FlangerEngineSweep, TriangleTurnsAtTheBaseAndJustBelowRingLengthPlusOne) {
    auto engine = OpenEngine(Defaults(), 44100, 0);
    double lowest = engine->SweepPosition();
    double highest = lowest;
    int turns = 0;
    double previousStep = engine->SweepStepFrames();
    StreamBuffer noChannels{};
    noChannels.FrameCount = 1;
    // One period is about 2 * 222.5 / 0.001 frames; run a little more than one.
    for (int frame = 0; frame < 460000; ++frame) {
        engine->Process(noChannels);
        lowest = std::min(lowest, engine->SweepPosition());
        highest = std::max(highest, engine->SweepPosition());
        if (engine->SweepStepFrames() != previousStep) ++turns;
        previousStep = engine->SweepStepFrames();
    }
    EXPECT_EQ(lowest, 220.5);
    EXPECT_LT(highest, 443.0);
    EXPECT_GT(highest, 443.0 - 0.0011);
    EXPECT_EQ(turns, 2);
}

TEST(FlangerEngineSweep, SineStartsAtTheDelayThenCirclesTheRaisedCentre) {
    auto engine = OpenEngine(SineDefaults(), 44100, 1);
    const double centre = engine->SweepBasePosition();
    const double omega = (0.1 * 6.283185307179586) / 44100.0;
    EXPECT_EQ(engine->SweepPosition(), 220.5);
    StreamBuffer oneFrame{};
    oneFrame.FrameCount = 1;
    for (int k = 1; k <= 50000; ++k) {
        engine->Process(oneFrame);
        // Frame k reads at the centre plus 110.25 sin((k - 1) omega); the recursion's rounding
        // stays far below a ten-thousandth of a frame over this run.
        ASSERT_NEAR(engine->SweepPosition(), centre + 110.25 * std::sin((k - 1) * omega), 1e-4)
            << "frame " << k;
    }
    EXPECT_NEAR(centre, 330.749449, 1e-6);
}

TEST(FlangerEngineProcess, DepthZeroLeavesEverySampleBitIdentical) {
    for (bool sine : {false, true}) {
        ReferenceParameters p;
        p.sineMode = sine;
        p.depthGain = 0.0;
        auto engine = OpenEngine(p, 48000, 2);
        auto signal = WhiteNoise(2, 20000, 7);
        signal[0][5] = 0.0f;
        signal[1][9] = std::numeric_limits<float>::denorm_min();
        signal[1][10] = std::numeric_limits<float>::max();
        const auto input = signal;
        ProcessSpan(*engine, signal, 0, 20000);
        for (std::size_t j = 0; j < 2; ++j) {
            for (std::size_t i = 0; i < 20000; ++i) {
                ASSERT_TRUE(SameBits(signal[j][i], input[j][i]))
                    << "sine " << sine << " channel " << j << " frame " << i;
            }
        }
    }
}

TEST(FlangerEngineProcess, FrameCountZeroChangesNeitherSamplesNorSweep) {
    auto engine = OpenEngine(Defaults(), 44100, 2);
    auto signal = WhiteNoise(2, 100, 3);
    ProcessSpan(*engine, signal, 0, 100);
    const auto before = signal;
    const double position = engine->SweepPosition();
    const std::int32_t writeIndex = engine->WriteIndexPosition();
    ProcessSpan(*engine, signal, 0, 0);
    EXPECT_EQ(signal, before);
    EXPECT_EQ(engine->SweepPosition(), position);
    EXPECT_EQ(engine->WriteIndexPosition(), writeIndex);
}

TEST(FlangerEngineProcess, BuffersWithoutChannelsStillAdvanceTheSweep) {
    for (bool sine : {false, true}) {
        ReferenceParameters p;
        p.sineMode = sine;
        p.speedHz = 2.0;
        auto withChannels = OpenEngine(p, 44100, 2);
        auto nullArray = OpenEngine(p, 44100, 2);
        auto emptyArray = OpenEngine(p, 44100, 2);
        auto signal = WhiteNoise(2, 5000, 11);
        ProcessSpan(*withChannels, signal, 0, 5000);

        StreamBuffer none{};
        none.FrameCount = 5000;
        nullArray->Process(none);
        float* unused[1] = {nullptr};
        StreamBuffer empty{};
        empty.ChannelsBegin = unused;
        empty.ChannelsEnd = unused;
        empty.FrameCount = 5000;
        emptyArray->Process(empty);

        for (const FlangerEngine* engine : {nullArray.get(), emptyArray.get()}) {
            EXPECT_EQ(engine->SweepPosition(), withChannels->SweepPosition()) << sine;
            EXPECT_EQ(engine->SweepStepFrames(), withChannels->SweepStepFrames()) << sine;
            EXPECT_EQ(engine->WriteIndexPosition(), withChannels->WriteIndexPosition()) << sine;
        }
    }
}

TEST(FlangerEngineProcess, WithoutFeedbackTheLinesHoldExactlyTheInput) {
    ReferenceParameters p;
    p.feedbackOn = false;
    p.feedbackGain = 0.7;  // ignored while feedback is off
    auto engine = OpenEngine(p, 44100, 2);
    auto signal = WhiteNoise(2, 300, 5);
    const auto input = signal;
    ProcessSpan(*engine, signal, 0, 300);
    for (std::size_t j = 0; j < 2; ++j) {
        const float* line = engine->DelayLine(static_cast<std::uint32_t>(j));
        for (std::size_t i = 0; i < 300; ++i) ASSERT_TRUE(SameBits(line[i], input[j][i])) << i;
        for (std::size_t i = 300; i < 443; ++i) ASSERT_EQ(line[i], 0.0f) << i;
    }
}

// A NaN or infinite input sample is taken as silence before it reaches a line: with feedback at
// its most, the module's engine and the live one give the bits of the same input with zeros
// there, and recover at once instead of turning the channel to NaN for good.
TEST(FlangerEngineProcess, NonFiniteInputIsTakenAsSilence) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    ReferenceParameters p;
    p.feedbackGain = 1.0;
    auto poisoned = WhiteNoise(2, 4000, 9);
    auto zeroed = poisoned;
    for (const auto& [channel, frame, value] : {std::tuple{0, 100, nan}, {1, 101, -inf},
                                               {0, 2500, inf}, {1, 3999, -nan}}) {
        poisoned[channel][frame] = value;
        zeroed[channel][frame] = 0.0f;
    }
    auto liveOutput = poisoned, liveExpected = zeroed;
    auto module = OpenEngine(p, 44100, 2), reference = OpenEngine(p, 44100, 2);
    ProcessSpan(*module, poisoned, 0, 4000);
    ProcessSpan(*reference, zeroed, 0, 4000);
    LiveFlanger live, liveReference;
    ASSERT_TRUE(live.Activate(44100, 2) && liveReference.Activate(44100, 2));
    const LiveSettings settings{.Feedback = 99};
    float* outputs[] = {liveOutput[0].data(), liveOutput[1].data()};
    float* expected[] = {liveExpected[0].data(), liveExpected[1].data()};
    live.Process(outputs, 2, 4000, settings);
    liveReference.Process(expected, 2, 4000, settings);
    for (std::size_t j = 0; j < 2; ++j) {
        for (std::size_t i = 0; i < 4000; ++i) {
            ASSERT_TRUE(SameBits(poisoned[j][i], zeroed[j][i])) << "module " << j << ":" << i;
            ASSERT_TRUE(SameBits(liveOutput[j][i], liveExpected[j][i])) << "live " << j << ":" << i;
        }
    }
}

// Parameters and formats a host may hand over although the settings window never would.
TEST(FlangerEngineLimits, StreamsThatCannotRunPassAudioThrough) {
    struct Case {
        const char* name;
        double delayMs;
        double widthMs;
        std::uint32_t sampleRate;
        std::uint16_t channels;
        bool sineMode = false;
    };
    const Case cases[] = {
        // The sine's step per frame is infinite; the triangle runs (see the model's tables).
        {"sample rate 0, sine", 5.0, 5.0, 0, 2, true},
        {"sample rate beyond 31 bits", 5.0, 5.0, 0x80000000u, 2},
        {"delay of 200 000 000 ms", 2e8, 5.0, 44100, 2},
        {"width of 200 000 000 ms", 5.0, 2e8, 44100, 2},
        {"line just over the per-channel limit", 380500.0, 0.0, 44100, 1},
        {"all lines over the total limit", 1000.0, 0.0, 44100, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReferenceParameters p;
        p.delayMs = c.delayMs;
        p.widthMs = c.widthMs;
        p.sineMode = c.sineMode;
        auto engine = OpenEngine(p, c.sampleRate, c.channels);
        EXPECT_TRUE(engine->PassThrough());
        auto signal = WhiteNoise(2, 1000, 13);
        const auto input = signal;
        ProcessSpan(*engine, signal, 0, 1000);
        EXPECT_EQ(signal, input);
    }
    ReferenceParameters largestLine;
    largestLine.delayMs = 380000.0;  // 16 758 000 frames at 44.1 kHz: just under the limit
    largestLine.widthMs = 0.0;
    EXPECT_FALSE(OpenEngine(largestLine, 44100, 1)->PassThrough());
}

TEST(FlangerEngineLimits, NegativeDelayAndWidthAreTakenAsZero) {
    for (bool sine : {false, true}) {
        ReferenceParameters negative;
        negative.sineMode = sine;
        negative.delayMs = -5.0;
        negative.widthMs = -200000000.0;
        ReferenceParameters zero = negative;
        zero.delayMs = 0.0;
        zero.widthMs = 0.0;
        auto clamped = OpenEngine(negative, 44100, 2);
        auto expected = OpenEngine(zero, 44100, 2);
        EXPECT_EQ(clamped->LineLengthFrames(), 2);
        auto a = WhiteNoise(2, 4000, 17);
        auto b = a;
        ProcessSpan(*clamped, a, 0, 4000);
        ProcessSpan(*expected, b, 0, 4000);
        EXPECT_EQ(a, b) << "sine " << sine;
    }
}

TEST(FlangerEngineLimits, ExtremeSpeedsKeepEveryTapInsideTheLine) {
    // Speeds no window offers: the sanitizer build turns any read outside a line into a failure.
    for (bool sine : {false, true}) {
        for (double speed : {21474836.47, -21474836.48, 1e300}) {
            ReferenceParameters p;
            p.sineMode = sine;
            p.speedHz = speed;
            p.widthMs = 10.0;
            p.delayMs = 0.0;
            auto engine = OpenEngine(p, 8000, 1);
            auto signal = WhiteNoise(1, 3000, 19);
            ProcessSpan(*engine, signal, 0, 3000);
            for (float value : signal[0]) ASSERT_TRUE(std::isfinite(value)) << speed;
        }
    }
}

TEST(FlangerEngineLimits, SineTroughBelowZeroDelayReadsAsARing) {
    // With no delay the sine's lowest position lies a hair below 0 (its centre is raised by
    // slightly less than its amplitude). At 8 kHz with a 9.9 ms width the ring is 80 positions
    // and a 212-frame period puts the trough exactly on frame 160, where the write position is
    // back at 0: a tap taken as is would read one element before the line; a ring wraps it.
    ReferenceParameters p;
    p.sineMode = true;
    p.delayMs = 0.0;
    p.widthMs = 9.9;
    p.speedHz = 8000.0 / 212.0;
    auto engine = OpenEngine(p, 8000, 1);
    ASSERT_EQ(engine->RingLengthFrames(), 80);
    auto signal = WhiteNoise(1, 170, 37);
    auto expected = signal;
    ReferenceFlanger(p, 8000, 1).Process({expected[0].data()}, 170);
    ProcessSpan(*engine, signal, 0, 160);
    ASSERT_EQ(engine->WriteIndexPosition(), 0);
    ASSERT_LT(engine->SweepPosition(), 0.0);
    ProcessSpan(*engine, signal, 160, 10);
    EXPECT_EQ(signal, expected);
}

TEST(FlangerEngineLimits, ChannelsBeyondTheFormatAndNullChannelsAreLeftAlone) {
    auto engine = OpenEngine(Defaults(), 44100, 2);
    auto reference = OpenEngine(Defaults(), 44100, 2);
    auto signal = WhiteNoise(4, 3000, 23);
    const auto input = signal;
    auto expected = signal;

    // Four channel pointers for a two-channel stream, the second one null.
    std::vector<float*> pointers = {signal[0].data(), nullptr, signal[2].data(), signal[3].data()};
    StreamBuffer buffer{};
    buffer.ChannelsBegin = pointers.data();
    buffer.ChannelsEnd = pointers.data() + pointers.size();
    buffer.FrameCount = 3000;
    engine->Process(buffer);

    std::vector<std::vector<float>> firstOnly = {expected[0]};
    ProcessSpan(*reference, firstOnly, 0, 3000);
    EXPECT_EQ(signal[0], firstOnly[0]);
    EXPECT_EQ(signal[2], input[2]);
    EXPECT_EQ(signal[3], input[3]);
}

TEST(FlangerEngineLimits, ReopeningStartsFromSilence) {
    auto engine = OpenEngine(Defaults(), 44100, 1);
    auto noise = WhiteNoise(1, 5000, 29);
    ProcessSpan(*engine, noise, 0, 5000);
    engine->Open(StreamFormat{1, 1, 44100});
    auto fresh = OpenEngine(Defaults(), 44100, 1);
    auto a = WhiteNoise(1, 2000, 31);
    auto b = a;
    ProcessSpan(*engine, a, 0, 2000);
    ProcessSpan(*fresh, b, 0, 2000);
    EXPECT_EQ(a, b);
}

}  // namespace
}  // namespace flanger::testing
