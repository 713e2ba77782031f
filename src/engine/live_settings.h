// LiveSettings: the six effect values as the live mode takes them, in the settings record's
// integer units, and their conversion into the engine's parameters.
//
// OpenStream converts the record's fields with the same function (each integer widened to double
// and multiplied by 0.1 or 0.01; a negative Feedback switches feedback off and leaves its gain at
// 0.0), so that a live engine whose settings never change computes what a FlangerEngine opened
// from the same record computes.
//
// Controls the record does not hold follow the six fields, each with a default that leaves the
// arithmetic above as it is. Signed feedback: the switch and gain give a feedback from 0 to 1,
// and InvertFeedback makes it negative (-1 to 0), so that the line receives the input minus the
// scaled tap; the gain is negated exactly, so the kernels' multiply-add stays the same. Mix, a
// dry/wet balance in percent: the output is DryGain * x + WetGain * (tap * DepthGain), with
// DryGain = min(1, 2 - 2m) and WetGain = min(1, 2m) for m = Mix / 100, so 0 is the input alone,
// 100 the scaled tap alone, and 50 both at full: the module's arithmetic, bit for bit. Stereo
// spread, in degrees (0 to 180, clamped): channel j's sweep runs j times that much ahead of
// channel 0's in phase; at 0 every channel shares channel 0's sweep, as in the module.
#pragma once

#include <algorithm>
#include <cstdint>

namespace flanger {

struct LiveSettings {
    std::int32_t Depth = 90;      // gain of the delayed signal, hundredths
    std::int32_t Delay = 50;      // tenths of a millisecond
    std::int32_t Width = 50;      // tenths of a millisecond
    std::int32_t Sine = 0;        // nonzero: sine sweep; 0: triangle sweep
    std::int32_t Feedback = 10;   // hundredths; negative: feedback off
    std::int32_t Speed = 10;      // hundredths of a hertz
    bool InvertFeedback = false;  // the fed-back tap subtracted: feedback from -1 to 0
    std::int32_t Mix = 50;        // percent, 0 to 100 (clamped): dry only to wet only
    std::int32_t Spread = 0;      // degrees, 0 to 180 (clamped): each further channel's phase
    std::int32_t Level = 0;       // output gain, tenths of a decibel, -240 to 120 (clamped)

    bool operator==(const LiveSettings&) const = default;
};

// The engine's seven parameters, in the units of FlangerEngine's fields.
struct EngineParameters {
    double DepthGain = 0.9;
    double DelayMs = 5.0;
    double WidthMs = 5.0;
    bool SineMode = false;
    bool FeedbackOn = true;
    double FeedbackGain = 0.1;
    double SpeedHz = 0.1;
    // The dry/wet balance; both 1.0 at the default mix, and then never multiplied in.
    double DryGain = 1.0;
    double WetGain = 1.0;
    // Degrees between the sweeps of neighbouring channels, 0 to 180; 0: one sweep for all.
    std::int32_t SpreadDegrees = 0;

    bool Mixed() const { return DryGain != 1.0 || WetGain != 1.0; }
};

inline EngineParameters ToEngineParameters(const LiveSettings& settings) {
    EngineParameters p;
    // A multiplication by 0.1 differs from a division by 10 in the last bit, and the output
    // depends on it.
    p.FeedbackOn = settings.Feedback >= 0;
    p.FeedbackGain = p.FeedbackOn ? static_cast<double>(settings.Feedback) * 0.01 : 0.0;
    if (settings.InvertFeedback) p.FeedbackGain = -p.FeedbackGain;
    p.SineMode = settings.Sine != 0;
    p.DelayMs = static_cast<double>(settings.Delay) * 0.1;
    p.DepthGain = static_cast<double>(settings.Depth) * 0.01;
    p.SpeedHz = static_cast<double>(settings.Speed) * 0.01;
    p.WidthMs = static_cast<double>(settings.Width) * 0.1;
    if (settings.Mix != 50) {
        const double m = static_cast<double>(std::clamp(settings.Mix, 0, 100)) * 0.01;
        p.DryGain = std::min(1.0, 2.0 - 2.0 * m);
        p.WetGain = std::min(1.0, 2.0 * m);
    }
    p.SpreadDegrees = std::clamp(settings.Spread, 0, 180);
    return p;
}

}  // namespace flanger
