// The six effect values as the command handles them: in the record's integer units, with the
// ranges the settings window offers, and written out in the units a person types.
//
// The option parser refuses typed values outside these ranges. Values loaded from a preset are
// not checked by the module, so the commands use them as they are and only point them out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flanger::tool {

// The six fields of an EffectSettings record, in the record's own units; the defaults are those
// of a new record.
struct EffectParameters {
    std::int32_t Depth = 90;     // hundredths
    std::int32_t Delay = 50;     // tenths of a millisecond
    std::int32_t Width = 50;     // tenths of a millisecond
    std::int32_t Sine = 0;       // nonzero: sine sweep; 0: triangle sweep
    std::int32_t Feedback = 10;  // hundredths; negative: feedback off
    std::int32_t Speed = 10;     // hundredths of a hertz

    bool operator==(const EffectParameters&) const = default;
};

// A numeric effect value: its option, its record field and the settings window's range, in
// record units of 10^-DecimalShift of the typed unit. For Feedback the range bounds the
// magnitude; the sign switches feedback off.
struct EffectRange {
    std::string_view Option;  // "--delay"
    std::string_view Field;   // "Delay", the record field and the stored value's name
    std::string_view Unit;    // " ms", or empty for a gain
    int DecimalShift;
    std::int32_t Low;
    std::int32_t High;
    std::int32_t EffectParameters::*Member;
};

inline constexpr EffectRange kEffectRanges[] = {
    {"--delay", "Delay", " ms", 1, 10, 100, &EffectParameters::Delay},
    {"--width", "Width", " ms", 1, 10, 100, &EffectParameters::Width},
    {"--speed", "Speed", " Hz", 2, 10, 200, &EffectParameters::Speed},
    {"--depth", "Depth", "", 2, 10, 100, &EffectParameters::Depth},
    {"--feedback", "Feedback", "", 2, 10, 100, &EffectParameters::Feedback},
};

// `value` * 10^-decimals written with exactly `decimals` digits after the point, computed in
// integers so that every record value prints exactly ("-0.05", "21474836.47").
std::string FormatFixed(std::int64_t value, int decimals);

// "1.0 to 10.0 ms": the range as the help text and the messages write it.
std::string DescribeRange(const EffectRange& range);

// Whether the record value lies in the settings window's range.
bool InWindowRange(const EffectRange& range, std::int32_t value);

// A record value in typed units: "20.0 ms", "0.45"; a negative Feedback as "off (0.45)".
std::string DescribeValue(const EffectRange& range, std::int32_t value);

// The six values for "show-preset", one line each without the newline, in the order of the
// effect options: the value in typed units, the record value, and a note when the value lies
// outside the settings window's range.
std::vector<std::string> DescribeParameters(const EffectParameters& parameters);

}  // namespace flanger::tool
