// The VST3 parameters' ranges, texts and normalised values. The arithmetic keeps the first
// release's mix of float and double (the range's span is a float difference) so that hosts get
// back the very numbers they stored.
#include "plugins/vst3/vst3_parameters.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace flanger::plugins::vst3 {
namespace {

bool IsBypass(std::uint32_t parameter) {
    return kParameters.Controls[parameter] == kEnabledControl;
}

// The plain value at `normalised`, limits included.
float Unnormalised(const ParameterRange& range, double normalised) {
    if (normalised <= 0.0) return range.Minimum;
    if (normalised >= 1.0) return range.Maximum;
    return static_cast<float>(normalised * (range.Maximum - range.Minimum) + range.Minimum);
}

// `value` on the parameter's grid: a switch at one of its ends, a whole number rounded.
float OnGrid(const ParameterRange& range, float value) {
    if (range.Switch) {
        const float middle = range.Minimum + (range.Maximum - range.Minimum) * 0.5f;
        return value > middle ? range.Maximum : range.Minimum;
    }
    return range.Whole ? std::round(value) : value;
}

double Normalised(const ParameterRange& range, double plain) {
    const double place = (plain - range.Minimum) / (range.Maximum - range.Minimum);
    return place <= 0.0 ? 0.0 : place >= 1.0 ? 1.0 : place;
}

// The same in float, as the default and a typed-in value are worked out.
float NormalisedFloat(const ParameterRange& range, float plain) {
    const float place = (plain - range.Minimum) / (range.Maximum - range.Minimum);
    return place <= 0.0f ? 0.0f : place >= 1.0f ? 1.0f : place;
}

}  // namespace

ParameterRange RangeOf(std::uint32_t parameter) {
    if (IsBypass(parameter)) return {0.0f, 1.0f, 0.0f, true, true};
    const Control& row = kControls[kParameters.Controls[parameter]];
    const bool isSwitch = row.Unit == ControlUnit::Switch;
    return {row.Minimum, UpperLimit(row), row.Default, isSwitch,
            isSwitch || row.Unit == ControlUnit::Degrees};
}

const char* SymbolOf(std::uint32_t parameter) {
    return IsBypass(parameter) ? "dpf_bypass" : kControls[kParameters.Controls[parameter]].Key;
}

float PlainOfPort(std::uint32_t control, float port) {
    if (control != kEnabledControl) return port;
    return port > 0.0f ? 0.0f : 1.0f;
}

float PortOfPlain(std::uint32_t control, float plain) {
    if (control != kEnabledControl) return plain;
    return plain > 0.0f ? 0.0f : 1.0f;
}

void DescribeParameter(std::uint32_t parameter, v3_param_info& info) {
    info = v3_param_info{};
    info.param_id = parameter;
    const ParameterRange range = RangeOf(parameter);
    info.flags = V3_PARAM_CAN_AUTOMATE;
    if (range.Switch) {
        info.step_count = 1;
    } else if (range.Whole) {
        info.step_count = static_cast<int32_t>(range.Maximum - range.Minimum);
    }
    info.default_normalised_value = NormalisedFloat(range, range.Default);
    if (IsBypass(parameter)) {
        info.flags |= V3_PARAM_IS_BYPASS;
        CopyUtf16(info.title, 128, "Bypass");
        CopyUtf16(info.short_title, 128, "Bypass");
        return;
    }
    const Control& row = kControls[kParameters.Controls[parameter]];
    CopyUtf16(info.title, 128, row.Label);
    std::string_view unit = UnitText(row.Unit);
    if (!unit.empty()) unit.remove_prefix(1);  // the space before the unit
    char units[32] = {};
    std::snprintf(units, sizeof units, "%.*s", static_cast<int>(unit.size()), unit.data());
    CopyUtf16(info.units, 128, units);
}

double NormalisedToPlain(std::uint32_t parameter, double normalised) {
    const ParameterRange range = RangeOf(parameter);
    return OnGrid(range, Unnormalised(range, normalised));
}

double PlainToNormalised(std::uint32_t parameter, double plain) {
    return Normalised(RangeOf(parameter), plain);
}

void TextOfNormalised(std::uint32_t parameter, double normalised, v3_str_128 text) {
    const ParameterRange range = RangeOf(parameter);
    const float value = OnGrid(range, Unnormalised(range, normalised));
    char printed[64];
    if (range.Whole) {
        std::snprintf(printed, sizeof printed, "%d", static_cast<int>(value));
    } else {
        std::snprintf(printed, sizeof printed, "%f", static_cast<double>(value));
    }
    CopyUtf16(text, 128, printed);
}

double NormalisedOfText(std::uint32_t parameter, const char* text) {
    const ParameterRange range = RangeOf(parameter);
    const float value =
        range.Whole ? static_cast<float>(std::atoi(text)) : static_cast<float>(std::atof(text));
    return NormalisedFloat(range, value);
}

bool MovePort(std::uint32_t parameter, double normalised, float& port) {
    const std::uint32_t control = kParameters.Controls[parameter];
    const ParameterRange range = RangeOf(parameter);
    const float current = PlainOfPort(control, port);
    float value = Unnormalised(range, normalised);
    if (range.Switch) {
        const float middle = range.Minimum + (range.Maximum - range.Minimum) / 2.0f;
        if ((value > middle) == (current > middle)) return false;
        value = value > middle ? range.Maximum : range.Minimum;
    } else if (range.Whole) {
        const int whole = static_cast<int>(std::round(value));
        if (static_cast<int>(current) == whole) return false;
        value = static_cast<float>(whole);
    } else if (std::abs(Normalised(range, current) - normalised) < 1e-7) {
        return false;
    }
    port = PortOfPlain(control, value);
    return true;
}

void CopyUtf16(int16_t* out, std::size_t size, const char* text) {
    std::size_t k = 0;
    for (; k + 1 < size && text[k] != '\0'; ++k) out[k] = static_cast<int16_t>(text[k]);
    if (size > 0) out[k] = 0;
}

void CopyFromUtf16(char* out, std::size_t size, const int16_t* text) {
    std::size_t k = 0;
    for (; k + 1 < size && text[k] != 0; ++k) {
        out[k] = text[k] > 0 && text[k] < 0x80 ? static_cast<char>(text[k]) : '?';
    }
    if (size > 0) out[k] = '\0';
}

}  // namespace flanger::plugins::vst3
