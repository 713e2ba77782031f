// The live mode's changes: each reaches its settings within 50 ms, the sweep goes on from its
// phase instead of restarting, and a change of the gains alone ends in the bits of an engine
// that had the new settings from the start. (Settings that never change are held to the model
// in flanger_engine_model_test.cpp; the absence of clicks is measured through the plug-in.)
#include "engine/live_flanger.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "engine_test_support.h"

namespace flanger::testing {
namespace {

struct Change {
    std::uint32_t atFrame;
    LiveSettings settings;
};

struct ChangeCase {
    const char* name;
    std::uint32_t sampleRate;
    std::uint16_t channels;
    LiveSettings initial;
    std::vector<Change> changes;
    // After the last change the output equals an engine opened with its settings from the start.
    bool endsInFreshBits;
};

LiveSettings With(
    std::initializer_list<std::pair<std::int32_t LiveSettings::*, std::int32_t>> values) {
    LiveSettings settings;
    for (const auto& [field, value] : values) settings.*field = value;
    return settings;
}

std::vector<ChangeCase> ChangeCases() {
    using S = LiveSettings;
    const LiveSettings shortest = With({{&S::Delay, 10}, {&S::Width, 10}, {&S::Speed, 200}});
    const LiveSettings longest = With({{&S::Delay, 100}, {&S::Width, 100}, {&S::Speed, 50}});
    const LiveSettings sine = With({{&S::Sine, 1}, {&S::Speed, 70}});
    const std::uint32_t t = 57330;  // 1.3 s at 44.1 kHz
    return {
        {"depth", 44100, 2, {}, {{t, With({{&S::Depth, 20}})}}, true},
        {"depth_sine_no_feedback",
         48000,
         1,
         With({{&S::Sine, 1}, {&S::Feedback, -40}}),
         {{t, With({{&S::Sine, 1}, {&S::Feedback, -40}, {&S::Depth, 100}})}},
         true},
        {"ring_grows_most", 44100, 2, shortest, {{t, longest}}, false},
        {"ring_grows_most_96k", 96000, 1, shortest, {{2 * t, longest}}, false},
        {"ring_shrinks_most", 44100, 2, longest, {{t, shortest}}, false},
        {"speed", 44100, 1, With({{&S::Speed, 100}}), {{t, With({{&S::Speed, 10}})}}, false},
        {"triangle_to_sine", 44100, 2, With({{&S::Speed, 70}}), {{t, sine}}, false},
        {"sine_to_triangle_feedback_off",
         8000,
         2,
         sine,
         {{t / 5, With({{&S::Speed, 70}, {&S::Feedback, -10}})}},
         false},
        // The second change comes during the first one's crossfade and needs a longer past.
        {"change_during_a_crossfade",
         44100,
         2,
         shortest,
         {{t, With({{&S::Delay, 10}, {&S::Width, 10}, {&S::Speed, 200}, {&S::Depth, 30}})},
          {t + 300, longest}},
         false},
        // Back and forth before the history is complete: the last one counts.
        {"changes_while_waiting_for_the_past",
         44100,
         1,
         shortest,
         {{t, longest}, {t + 64, shortest}, {t + 128, With({{&S::Width, 80}})}},
         false},
    };
}

double Wrapped(double phase) {
    const double twoPi = SineOscillator::kTwoPi;
    return std::fmod(std::fmod(phase, twoPi) + twoPi, twoPi);
}

TEST(LiveFlanger, ChangesArriveWithin50MsAndTheSweepGoesOn) {
    constexpr std::uint32_t kBlock = 64;
    for (const ChangeCase& c : ChangeCases()) {
        SCOPED_TRACE(c.name);
        const std::uint32_t total = c.changes.back().atFrame + c.sampleRate / 2;
        const auto input = WhiteNoise(c.channels, total, 11);
        auto output = input;
        LiveFlanger live;
        ASSERT_TRUE(live.Activate(c.sampleRate, c.channels));

        LiveSettings settings = c.initial;
        std::size_t next = 0;
        std::uint32_t changedAt = 0, settledAt = 0;
        double phaseAtChange = 0.0;
        for (std::uint32_t offset = 0; offset < total; offset += kBlock) {
            if (next < c.changes.size() && offset >= c.changes[next].atFrame) {
                if (next + 1 == c.changes.size()) phaseAtChange = live.SweepPhase();
                settings = c.changes[next++].settings;
                changedAt = offset;
                settledAt = 0;
            }
            std::vector<float*> pointers;
            for (auto& channel : output) pointers.push_back(channel.data() + offset);
            live.Process(pointers.data(), c.channels, std::min(kBlock, total - offset), settings);
            if (next == c.changes.size() && settledAt == 0 && live.Settled()) {
                settledAt = offset + kBlock;
                // Between the old and the new speed since the change: neither restarted nor
                // stopped.
                const double rate = SineOscillator::kTwoPi / c.sampleRate * 0.01;
                const std::int32_t oldSpeed = c.changes.size() > 1
                                                  ? c.changes[c.changes.size() - 2].settings.Speed
                                                  : c.initial.Speed;
                const double frames = settledAt - changedAt;
                const double advance = Wrapped(live.SweepPhase() - phaseAtChange);
                EXPECT_GE(advance, frames * rate * std::min(oldSpeed, settings.Speed) * 0.9);
                EXPECT_LE(advance, frames * rate * std::max(oldSpeed, settings.Speed) * 1.1);
            }
        }
        ASSERT_NE(settledAt, 0u) << "never settled";
        EXPECT_LE(settledAt - changedAt, c.sampleRate / 20) << "frames to settle";
        EXPECT_EQ(live.SteadySettings(), settings);

        if (!c.endsInFreshBits) continue;
        const EngineParameters e = ToEngineParameters(settings);
        const ReferenceParameters p{e.DepthGain,  e.DelayMs,      e.WidthMs, e.SineMode,
                                    e.FeedbackOn, e.FeedbackGain, e.SpeedHz};
        auto fresh = input;
        ProcessSpan(*OpenEngine(p, c.sampleRate, c.channels), fresh, 0, total);
        for (std::size_t j = 0; j < c.channels; ++j) {
            for (std::size_t i = settledAt; i < total; ++i) {
                ASSERT_EQ(std::memcmp(&output[j][i], &fresh[j][i], sizeof(float)), 0)
                    << "channel " << j << " frame " << i << ": " << output[j][i] << " vs "
                    << fresh[j][i];
            }
        }
    }
}

}  // namespace
}  // namespace flanger::testing
