// A straightforward flanger written from the engine's rules, independent of the engine's code:
// one frame at a time, one vector per delay line, std::floor for every tap, the sine from its
// own two-term recursion. The engine must match it bit for bit wherever the parameters are
// non-negative, at the corners a stored preset reaches (no delay, sample rate 0) too.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace flanger::testing {

struct ReferenceParameters {
    double depthGain = 0.9;
    double delayMs = 5.0;
    double widthMs = 5.0;
    bool sineMode = false;
    bool feedbackOn = true;
    double feedbackGain = 0.1;
    double speedHz = 0.1;
    // The live mode's dry/wet mix; at 1.0 both products are exact: x + y * depthGain.
    double dryGain = 1.0;
    double wetGain = 1.0;
    // Where the sweep starts, in cycles from its lower end: a further channel's share of the
    // live mode's stereo spread. The sine's recursion starts there; the triangle starts that
    // share of its period up (or, past half of it, down) its range.
    double startCycles = 0.0;
};

class ReferenceFlanger {
public:
    ReferenceFlanger(const ReferenceParameters& parameters, std::uint32_t sampleRate,
                     std::uint32_t channels)
        : params(parameters) {
        const double sr = sampleRate;
        const int lineLength =
            static_cast<int>(std::trunc(((params.delayMs + params.widthMs) * 0.001) * sr)) + 2;
        lines.assign(channels, std::vector<float>(static_cast<std::size_t>(lineLength), 0.0f));
        ringLength = lineLength - 1;
        step = (params.speedHz * params.widthMs) * 0.002;
        writeIndex = 0;
        base = (sr * params.delayMs) * 0.001;
        position = base;

        const double twoPi = 6.283185307179586;
        amplitude = (sr * params.widthMs) * 0.0005;
        const double omega = (params.speedHz * twoPi) / static_cast<double>(sampleRate);
        coefficient = std::cos(omega) + std::cos(omega);
        const double phase = params.startCycles * twoPi;
        current = std::sin(phase);
        previous = std::sin(phase - omega);
        if (params.sineMode) {
            base = base + (sr * params.widthMs) * 0.0004999975000124999;
        } else {
            const double pi = twoPi / 2.0;
            const double share = phase < pi ? phase / pi : 2.0 - phase / pi;
            const double top = ringLength + 1.0;
            position = std::min(base + share * (top - base), top);
            if (phase >= pi) step = -step;
        }
    }

    // Processes frameCount frames of every channel in place.
    void Process(const std::vector<float*>& channels, std::uint32_t frameCount) {
        for (std::uint32_t i = 0; i < frameCount; ++i) {
            for (std::size_t j = 0; j < channels.size(); ++j) {
                const double x = channels[j][i];
                const double y = Tap(lines[j]);
                channels[j][i] = static_cast<float>(params.dryGain * x +
                                                    params.wetGain * (y * params.depthGain));
                lines[j][static_cast<std::size_t>(writeIndex)] =
                    params.feedbackOn ? static_cast<float>(x + y * params.feedbackGain)
                                      : static_cast<float>(x);
            }
            writeIndex = writeIndex + 1;
            if (writeIndex == ringLength) writeIndex = 0;
            if (!params.sineMode) {
                position = position + step;
                if (position - 1.0 > ringLength || !(position > base)) {
                    step = -step;
                    position = position + step;
                }
            } else {
                const double value = amplitude * current;
                const double next = coefficient * current - previous;
                previous = current;
                current = next;
                position = value + base;
            }
        }
    }

    double Position() const { return position; }
    double Base() const { return base; }
    double Step() const { return step; }
    int RingLength() const { return ringLength; }
    int WriteIndex() const { return writeIndex; }
    const std::vector<float>& Line(std::size_t channel) const { return lines[channel]; }

private:
    double Tap(const std::vector<float>& line) const {
        const int d = static_cast<int>(std::floor(position));
        int p = d + writeIndex;
        if (p >= ringLength) p = p - ringLength;
        // Only a position below 0 at write position 0 reads before the line: a ring wraps it.
        if (p < 0) p = p + ringLength;
        int q = p + 1;
        if (q >= ringLength) q = 0;
        const double f = position - std::floor(position);
        return static_cast<double>(line.at(static_cast<std::size_t>(p))) * (1 - f) +
               static_cast<double>(line.at(static_cast<std::size_t>(q))) * f;
    }

    ReferenceParameters params;
    std::vector<std::vector<float>> lines;
    int ringLength = 0;
    int writeIndex = 0;
    double step = 0.0;
    double base = 0.0;
    double position = 0.0;
    double amplitude = 0.0;
    double coefficient = 0.0;
    double current = 0.0;
    double previous = 0.0;
};

}  // namespace flanger::testing
