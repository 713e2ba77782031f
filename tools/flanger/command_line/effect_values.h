// The effect values as the command handles them: in the settings' integer units, with the
// ranges of the controls' table (effect/effect_controls.h), and written out in the units a person
// types.
//
// The option parser refuses typed values outside these ranges. Values loaded from a preset are
// not checked by the module, so the commands use them as they are and only point them out.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "effect/effect_controls.h"

namespace flanger::tool {

// The effect's values as the command handles them: the record's six fields in the record's own
// units (their defaults those of a new record), and the controls the record does not hold.
using EffectParameters = LiveSettings;

// A numeric control as the options take it: its option, its stored name and the settings
// window's range, in settings units of 10^-DecimalShift of the typed unit. For Feedback the
// range bounds the magnitude; the sign switches feedback off.
struct EffectRange {
    std::string_view Option;  // "--delay"
    std::string_view Field;   // "Delay", the record field and the stored value's name
    std::string_view Unit;    // " ms", or empty for a gain
    int DecimalShift;
    std::int32_t Low;
    std::int32_t High;
    std::int32_t EffectParameters::*Member;
};

constexpr EffectRange RangeOf(const Control& control) {
    return {control.Option,
            control.StoredName != nullptr ? control.StoredName : "",
            UnitText(control.Unit),
            GridDecimals(control),
            OnGrid(control, control.Minimum),
            OnGrid(control, control.Maximum),
            control.Field};
}

// The range the control's option takes: short of the record's where the option stops earlier.
constexpr EffectRange OptionRangeOf(const Control& control) {
    EffectRange range = RangeOf(control);
    range.High = OnGrid(control, UpperLimit(control));
    return range;
}

// Whether a control is a number typed with an option of its own.
constexpr bool IsNumericOption(const Control& control) {
    return control.Option != nullptr && control.Unit != ControlUnit::Switch;
}

constexpr bool IsRecordNumber(const Control& control) {
    return IsNumericOption(control) && control.RecordField != nullptr;
}

// The numeric controls the record holds, in the order of the options.
inline constexpr auto kEffectRanges = [] {
    std::array<EffectRange, std::ranges::count_if(kControls, IsRecordNumber)> ranges{};
    std::size_t k = 0;
    for (const Control& control : kControls) {
        if (IsRecordNumber(control)) ranges[k++] = RangeOf(control);
    }
    return ranges;
}();

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

// The effect options that turn a new effect's values into `parameters`, in the order of the
// help: "--delay 1.5 --feedback -0.60 --sweep sine". Empty for a new effect's values.
std::string OptionsGiving(const EffectParameters& parameters);

}  // namespace flanger::tool
