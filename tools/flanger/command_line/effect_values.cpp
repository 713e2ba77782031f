// Effect values in record units and in typed units.
#include "command_line/effect_values.h"

#include <cstdio>

namespace flanger::tool {
namespace {

// Feedback's magnitude, which for INT32_MIN does not fit an int32_t.
std::int64_t Magnitude(std::int32_t value) {
    return value < 0 ? -std::int64_t{value} : std::int64_t{value};
}

std::string Line(std::string_view name, const std::string& typed, std::string_view field,
                 std::int32_t stored, bool inRange, const EffectRange* range) {
    char text[160];
    std::snprintf(text, sizeof text, "%-9.*s %-12s (%.*s=%d)", static_cast<int>(name.size()),
                  name.data(), typed.c_str(), static_cast<int>(field.size()), field.data(),
                  static_cast<int>(stored));
    std::string line = text;
    if (!inRange && range != nullptr) line += "  outside the range " + DescribeRange(*range);
    return line;
}

}  // namespace

std::string FormatFixed(std::int64_t value, int decimals) {
    std::int64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    // Negative values are split as magnitudes, so that -5 hundredths is "-0.05", not "0.-5".
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const auto unit = static_cast<std::uint64_t>(scale);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / unit);
    if (decimals > 0) {
        std::string fraction = std::to_string(magnitude % unit);
        text +=
            '.' + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
    }
    return text;
}

std::string DescribeRange(const EffectRange& range) {
    return FormatFixed(range.Low, range.DecimalShift) + " to " +
           FormatFixed(range.High, range.DecimalShift) + std::string(range.Unit);
}

bool InWindowRange(const EffectRange& range, std::int32_t value) {
    const std::int64_t checked =
        range.Member == &EffectParameters::Feedback ? Magnitude(value) : value;
    return checked >= range.Low && checked <= range.High;
}

std::string DescribeValue(const EffectRange& range, std::int32_t value) {
    if (range.Member == &EffectParameters::Feedback && value < 0) {
        return "off (" + FormatFixed(Magnitude(value), range.DecimalShift) + ")";
    }
    return FormatFixed(value, range.DecimalShift) + std::string(range.Unit);
}

std::vector<std::string> DescribeParameters(const EffectParameters& parameters) {
    std::vector<std::string> lines;
    for (const EffectRange& range : kEffectRanges) {
        const std::int32_t value = parameters.*range.Member;
        lines.push_back(Line(range.Option.substr(2), DescribeValue(range, value), range.Field,
                             value, InWindowRange(range, value), &range));
    }
    // Any nonzero Sine selects the sine, as the engine reads it; no value is out of range.
    lines.push_back(Line(kControls[kSineControl].Option + 2,
                         parameters.Sine != 0 ? "sine" : "triangle",
                         kControls[kSineControl].StoredName, parameters.Sine, true, nullptr));
    return lines;
}

std::string OptionsGiving(const EffectParameters& parameters) {
    const EffectParameters start;
    std::string options;
    for (const Control& control : kControls) {
        if (control.Option == nullptr) continue;
        std::string value;
        if (&control == &kControls[kFeedbackOnControl]) {
            if (parameters.Feedback < 0) options += std::string(" ") + control.Option;
            continue;
        }
        if (&control == &kControls[kSineControl]) {
            if ((parameters.Sine != 0) == (start.Sine != 0)) continue;
            value = parameters.Sine != 0 ? "sine" : "triangle";
        } else if (control.Field == &EffectParameters::Feedback) {
            // The typed gain is the magnitude, negative when the fed-back signal is inverted;
            // --no-feedback above gives the sign of a switched-off one.
            const std::int64_t magnitude = Magnitude(parameters.Feedback);
            if (magnitude == start.Feedback && !parameters.InvertFeedback) continue;
            value = (parameters.InvertFeedback ? "-" : "") +
                    FormatFixed(magnitude, GridDecimals(control));
        } else {
            if (parameters.*control.Field == start.*control.Field) continue;
            value = FormatFixed(parameters.*control.Field, GridDecimals(control));
        }
        options += std::string(" ") + control.Option + " " + value;
    }
    return options.empty() ? options : options.substr(1);
}

}  // namespace flanger::tool
