// The sine recursion against the library sine, and its configuration arithmetic.
#include "engine/sine_oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace flanger {
namespace {

// The rounded coefficient 2 cos(Omega) runs the recursion at a minutely different frequency, so
// its phase drifts slowly away from sin(Phase + k Omega) (its amplitude stays within 2e-7 over
// three hours at 44.1 kHz); over 200 000 steps it stays within a millionth of the amplitude.
TEST(SineOscillator, FollowsTheSineOfPhasePlusKOmega) {
    struct Case {
        double amplitude;
        double frequencyHz;
        double phaseCycles;
        std::int32_t sampleRate;
    };
    const Case cases[] = {
        {110.25, 0.1, 0.0, 44100},
        {1.0, 2.0, 0.25, 8000},
        {960.0, 0.1, 0.0, 192000},
        {3.5, 1000.0, 0.5, 48000},
    };
    for (const Case& c : cases) {
        SineOscillator oscillator;
        oscillator.Configure(c.amplitude, c.frequencyHz, c.phaseCycles, c.sampleRate);
        oscillator.Restart();
        EXPECT_EQ(oscillator.OmegaRadiansPerFrame(),
                  (c.frequencyHz * 6.283185307179586) / static_cast<double>(c.sampleRate));
        EXPECT_EQ(oscillator.PhaseRadians(), c.phaseCycles * 6.283185307179586);
        const double omega = oscillator.OmegaRadiansPerFrame();
        const double phase = oscillator.PhaseRadians();
        for (int k = 0; k < 200000; ++k) {
            const double expected = c.amplitude * std::sin(phase + k * omega);
            ASSERT_NEAR(oscillator.NextValue(), expected, c.amplitude * 1e-6)
                << "frequency " << c.frequencyHz << " step " << k;
        }
    }
}

TEST(SineOscillator, RestartBeginsTheSequenceAgain) {
    SineOscillator oscillator;
    oscillator.Configure(2.0, 5.0, 0.1, 1000);
    oscillator.Restart();
    const double first = oscillator.NextValue();
    const double second = oscillator.NextValue();
    for (int k = 0; k < 100; ++k) oscillator.NextValue();
    oscillator.Restart();
    EXPECT_EQ(oscillator.NextValue(), first);
    EXPECT_EQ(oscillator.NextValue(), second);
}

TEST(SineOscillator, NextValuesInBulkEqualOneAtATime) {
    // Bulk runs of every parity, one after another, against single steps of a twin: each value
    // and the state left for the next run must be the same bits.
    SineOscillator bulk;
    bulk.Configure(110.25, 1.7, 0.3, 44100);
    bulk.Restart();
    SineOscillator single = bulk;
    const double offset = 330.749449;
    for (std::uint32_t count : {0u, 1u, 2u, 3u, 7u, 255u, 256u, 1u, 0u, 4096u}) {
        std::vector<double> values(count + 1, -1.0);
        bulk.NextValues(values.data(), count, offset);
        for (std::uint32_t k = 0; k < count; ++k) {
            const double expected = single.NextValue() + offset;
            ASSERT_EQ(std::memcmp(&values[k], &expected, sizeof expected), 0)
                << "run of " << count << ", value " << k;
        }
        EXPECT_EQ(values[count], -1.0) << "written past the run of " << count;
    }
    EXPECT_EQ(bulk.NextValue(), single.NextValue());
}

}  // namespace
}  // namespace flanger
