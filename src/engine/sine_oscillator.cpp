// SineOscillator: configuration and restart of the recursion.
#include "engine/sine_oscillator.h"

#include <cmath>

namespace flanger {

void SineOscillator::Configure(double amplitude, double frequencyHz, double phaseCycles,
                               std::int32_t sampleRate) {
    Amplitude = amplitude;
    SampleRate = sampleRate;
    Phase = phaseCycles * kTwoPi;
    Omega = (frequencyHz * kTwoPi) / static_cast<double>(sampleRate);
}

void SineOscillator::Restart() {
    // cos + cos rather than 2 * cos: the same value, written as the recursion is defined.
    Coefficient = std::cos(Omega) + std::cos(Omega);
    Current = std::sin(Phase);
    Previous = std::sin(Phase - Omega);
}

}  // namespace flanger
