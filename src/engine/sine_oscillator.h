// SineOscillator: a sine from the two-term recursion sin((k+1)w) = 2cos(w) sin(kw) - sin((k-1)w).
//
// The flanger's sine sweep needs one value per frame; the recursion gives it with one multiply
// and one subtract, so the per-frame path evaluates no trigonometric function. cos and sin are
// evaluated only in Restart.
#pragma once

#include <cstdint>

namespace flanger {

class SineOscillator {
public:
    // 2 pi as the double the recursion is defined with.
    static constexpr double kTwoPi = 6.283185307179586;

    // Sets amplitude, frequency in hertz, start phase in cycles and the sample rate in frames
    // per second. Takes effect at Restart.
    void Configure(double amplitude, double frequencyHz, double phaseCycles,
                   std::int32_t sampleRate);

    // Starts the sequence at the configured phase.
    void Restart();

    // Amplitude * sin(Phase + k * Omega) for the k-th call since Restart (k = 0, 1, ...).
    double NextValue() {
        const double result = Amplitude * Current;
        const double next = Coefficient * Current - Previous;
        Previous = Current;
        Current = next;
        return result;
    }

    // The next `count` values, each plus `offset`, into `values`: the same as calling NextValue
    // `count` times, with the recursion's two terms taking turns instead of being copied.
    void NextValues(double* values, std::uint32_t count, double offset);

    // Steps the recursion over `count` terms from its state (current and previous value),
    // writing each term into `values` and leaving the state it reaches, as `count` calls of
    // NextValue would, without the amplitude. A kernel compiled for each instruction set runs it.
    using TermsFunction = void (*)(double* values, std::uint32_t count, double coefficient,
                                   double& current, double& previous);

    // The next `count` terms before the amplitude: values[k] * Amplitude is what NextValue
    // would give. The kernels scale them in vectors.
    void NextTerms(double* values, std::uint32_t count, TermsFunction terms) {
        terms(values, count, Coefficient, Current, Previous);
    }

    // The recursion's coefficient and state, for a kernel that steps it itself between other
    // work (SweepChunk::FormsTerms): SetTermState takes the state NextTerms would have left.
    double TermCoefficient() const { return Coefficient; }
    double CurrentTerm() const { return Current; }
    double PreviousTerm() const { return Previous; }
    void SetTermState(double current, double previous) {
        Current = current;
        Previous = previous;
    }

    double OmegaRadiansPerFrame() const { return Omega; }
    double PhaseRadians() const { return Phase; }
    double AmplitudeValue() const { return Amplitude; }
    std::int32_t SampleRateFrames() const { return SampleRate; }

private:
    double Omega = 0.0;        // radians per frame
    double Phase = 0.0;        // start phase, radians
    double Coefficient = 0.0;  // 2 cos(Omega)
    double Current = 0.0;
    double Previous = 0.0;
    double Amplitude = 0.0;
    std::int32_t SampleRate = 0;
};

}  // namespace flanger
