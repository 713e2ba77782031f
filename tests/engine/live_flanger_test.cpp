// The live mode's changes: each reaches its settings within 50 ms, the sweep goes on from its
// phase instead of restarting, and a change of the gains alone ends in the bits of an engine
// that had the new settings from the start. (Settings that never change are held to the model
// in flanger_engine_model_test.cpp; the absence of clicks is measured through the plug-in.)
#include "engine/live_flanger.h"

#include <cmath>

#include "engine_test_support.h"

namespace flanger::testing {
namespace {

struct ChangeCase {
    const char* name;
    std::uint32_t sampleRate;
    LiveSettings initial;
    // Settings taking over at the given frames; the last one's settling is measured.
    std::vector<std::pair<std::uint32_t, LiveSettings>> changes;
    bool endsInFreshBits;  // then equal to an engine opened with the last settings
};

std::vector<ChangeCase> ChangeCases() {
    const LiveSettings shortest{90, 10, 10, 0, 10, 200}, longest{90, 100, 100, 0, 10, 50};
    const LiveSettings triangle{90, 50, 50, 0, 10, 70}, sine{90, 50, 50, 1, 10, 70};
    const std::uint32_t t = 57330;  // 1.3 s at 44.1 kHz
    return {
        {"depth", 44100, {}, {{t, {20, 50, 50, 0, 10, 10}}}, true},
        // The level glides from 0 dB while the gains change, over a shorter time.
        {"depth_and_level", 44100, {}, {{t, {20, 50, 50, 0, 10, 10, false, 50, 0, -60}}}, true},
        {"depth_sine_no_feedback",
         48000,
         {90, 50, 50, 1, -40, 10},
         {{t, {100, 50, 50, 1, -40, 10}}},
         true},
        // Signed feedback: the fed-back tap inverted, at once and by a change.
        {"feedback_inverted", 44100, {}, {{t, {90, 50, 50, 0, 70, 10, true}}}, false},
        {"ring_grows_most", 44100, shortest, {{t, longest}}, false},
        {"ring_grows_most_96k", 96000, shortest, {{2 * t, longest}}, false},
        {"ring_shrinks_most", 44100, longest, {{t, shortest}}, false},
        {"speed", 44100, {90, 50, 50, 0, 10, 100}, {{t, {}}}, false},
        {"triangle_to_sine", 44100, triangle, {{t, sine}}, false},
        {"sine_to_triangle", 8000, sine, {{t / 5, triangle}}, false},
        // The second change comes during the first one's crossfade and needs a longer past.
        {"change_during_a_crossfade",
         44100,
         shortest,
         {{t, {30, 10, 10, 0, 10, 200}}, {t + 300, longest}},
         false},
        // The stereo spread, on and from one angle to another while the sweep runs.
        {"spread", 44100, triangle, {{t, {90, 50, 50, 0, 10, 70, false, 50, 120}}}, false},
        {"spread_sine", 48000, sine, {{t, {90, 50, 50, 1, 10, 70, false, 50, 90}}}, false},
        // Back and forth before the past is complete: the last one counts.
        {"changes_while_waiting",
         44100,
         shortest,
         {{t, longest}, {t + 64, shortest}, {t + 128, {}}},
         false},
    };
}

TEST(LiveFlanger, ChangesArriveWithin50MsAndTheSweepGoesOn) {
    constexpr std::uint32_t kBlock = 64;
    for (const ChangeCase& c : ChangeCases()) {
        SCOPED_TRACE(c.name);
        const std::uint32_t total = c.changes.back().first + c.sampleRate / 2;
        const Channels input = WhiteNoise(2, total, 11);
        Channels output = input;
        LiveFlanger live;
        ASSERT_TRUE(live.Activate(c.sampleRate, 2));

        LiveSettings settings = c.initial, previous = c.initial;
        std::size_t next = 0;
        std::uint32_t changedAt = 0, settledAt = 0;
        double phaseAtChange = 0.0;
        for (std::uint32_t offset = 0; offset < total; offset += kBlock) {
            if (next < c.changes.size() && offset >= c.changes[next].first) {
                previous = settings;
                settings = c.changes[next++].second;
                phaseAtChange = live.SweepPhase();
                changedAt = offset;
            }
            float* pointers[] = {output[0].data() + offset, output[1].data() + offset};
            live.Process(pointers, 2, std::min(kBlock, total - offset), settings);
            if (next < c.changes.size() || settledAt != 0 || !live.Settled()) continue;
            settledAt = offset + kBlock;
            // Advanced at a speed between the old and the new since the change: neither
            // restarted nor stopped.
            const double perSpeed =
                (settledAt - changedAt) * SineOscillator::kTwoPi / c.sampleRate * 0.01;
            const double advance =
                std::fmod(live.SweepPhase() - phaseAtChange + 2 * SineOscillator::kTwoPi,
                          SineOscillator::kTwoPi);
            EXPECT_GE(advance, perSpeed * std::min(previous.Speed, settings.Speed) * 0.9);
            EXPECT_LE(advance, perSpeed * std::max(previous.Speed, settings.Speed) * 1.1);
        }
        ASSERT_NE(settledAt, 0u) << "never settled";
        EXPECT_LE(settledAt - changedAt, c.sampleRate / 20) << "frames to settle";
        LiveSettings voiceSettings = settings;
        voiceSettings.Level = 0;  // the level applies after the voices
        EXPECT_EQ(live.SteadySettings(), voiceSettings);
        if (!c.endsInFreshBits) continue;

        const EngineParameters e = ToEngineParameters(settings);
        auto fresh = input;
        ProcessSpan(*OpenEngine({e.DepthGain, e.DelayMs, e.WidthMs, e.SineMode, e.FeedbackOn,
                                 e.FeedbackGain, e.SpeedHz},
                                c.sampleRate, 2),
                    fresh, 0, total);
        for (auto& channel : fresh) {
            for (float& x : channel) x = static_cast<float>(x * LevelGain(settings.Level));
        }
        ExpectSameBits(output, fresh, "after settling", settledAt);
    }
}

// The controls the record does not hold, held constant: bit for bit the model with the same
// arithmetic (a negated feedback gain; the output mixed from the input and the scaled tap), each
// channel the model run alone with its sweep started at its share of the stereo spread.
TEST(LiveFlanger, SignedFeedbackMixAndSpreadMatchTheModel) {
    struct ControlCase {
        std::uint32_t sampleRate;
        std::uint32_t channels;
        LiveSettings settings;
    };
    const ControlCase cases[] = {
        {44100, 2, {90, 50, 50, 0, 70, 10, true}},
        {48000, 2, {100, 20, 90, 1, 100, 150, true}},
        {44100, 2, {90, 50, 50, 0, 10, 10, false, 0}},
        {32000, 2, {60, 35, 70, 1, 40, 90, false, 25}},
        {44100, 2, {90, 50, 50, 0, 50, 10, true, 75}},
        {96000, 2, {100, 10, 100, 1, -30, 200, false, 100}},
        {44100, 2, {90, 50, 50, 0, 10, 10, false, 50, 90}},
        {44100, 2, {90, 50, 50, 1, 10, 10, false, 50, 180}},
        {48000, 3, {80, 10, 100, 0, 60, 200, true, 70, 150}},  // the third channel at 300
        {22050, 3, {100, 100, 10, 1, -10, 37, false, 30, 1}},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mix " << c.settings.Mix << ", spread "
                                        << c.settings.Spread << ", " << c.channels << " channels");
        const EngineParameters e = ToEngineParameters(c.settings);
        const Channels input = WhiteNoise(c.channels, c.sampleRate, 23);
        Channels expected = input;
        for (std::uint32_t j = 0; j < c.channels; ++j) {
            const double cycles = static_cast<double>(j * c.settings.Spread % 360) / 360.0;
            ReferenceFlanger model({e.DepthGain, e.DelayMs, e.WidthMs, e.SineMode, e.FeedbackOn,
                                    e.FeedbackGain, e.SpeedHz, e.DryGain, e.WetGain, cycles},
                                   c.sampleRate, 1);
            model.Process({expected[j].data()}, c.sampleRate);
        }

        LiveFlanger live;
        ASSERT_TRUE(live.Activate(c.sampleRate, c.channels));
        Channels output = input;
        InBuffersOf({0, 1, 7, 512, 4096, 333}, c.sampleRate,
                    [&](std::size_t offset, std::uint32_t size) {
                        std::vector<float*> pointers;
                        for (auto& channel : output) pointers.push_back(channel.data() + offset);
                        live.Process(pointers.data(), c.channels, size, c.settings);
                    });
        ExpectSameBits(output, expected, "live");
    }
}

}  // namespace
}  // namespace flanger::testing
