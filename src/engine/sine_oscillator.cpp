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

void SineOscillator::NextValues(double* values, std::uint32_t count, double offset) {
    // Locals: stores through `values` could otherwise alias the fields.
    const double amplitude = Amplitude;
    const double coefficient = Coefficient;
    double current = Current;
    double previous = Previous;
    double* const pairsEnd = values + (count & ~1u);
    for (; values != pairsEnd; values += 2) {
        values[0] = amplitude * current + offset;
        previous = coefficient * current - previous;
        values[1] = amplitude * previous + offset;
        current = coefficient * previous - current;
    }
    Current = current;
    Previous = previous;
    if (count % 2 != 0) *values = NextValue() + offset;
}

}  // namespace flanger
