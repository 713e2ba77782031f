// Where a stream's delay line and sweep start: the arithmetic of FlangerEngine::Open, shared with
// the live mode's voices so that both start bit for bit alike.
#pragma once

namespace flanger {

// ((delay + width) * 0.001) * rate: the frames the line spans before its truncation and the two
// spare elements.
inline double LineFramesFor(double sampleRate, double delayMs, double widthMs) {
    return ((delayMs + widthMs) * 0.001) * sampleRate;
}

struct SweepStart {
    double Step;           // the triangle's change of position per frame, frames
    double LowerEnd;       // the longest delay ahead of the write position: the first frame's
    double Base;           // the triangle's lower turning point; the sine's centre
    double SineAmplitude;  // half the width, frames
};

// Delay and width must not be negative. The sine's centre sits a hair below the middle of the
// width: 0.0005 / 1.000005 as a double.
inline SweepStart StartOfSweep(double sampleRate, double delayMs, double widthMs, double speedHz,
                               bool sine) {
    SweepStart start{};
    start.Step = (speedHz * widthMs) * 0.002;
    start.LowerEnd = (sampleRate * delayMs) * 0.001;
    start.SineAmplitude = (sampleRate * widthMs) * 0.0005;
    start.Base =
        sine ? start.LowerEnd + (sampleRate * widthMs) * 0.0004999975000124999 : start.LowerEnd;
    return start;
}

}  // namespace flanger
