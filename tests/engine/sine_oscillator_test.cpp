// The sine recursion against the library sine, and its configuration arithmetic.
#include "engine/sine_oscillator.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace flanger
