// The VST3 plug-ins' parameters: which control of the table (effect/effect_controls.h) each one
// is, and what a host sees of it. A parameter's id is its index here: the controls in the table's
// order, without the spread in the mono plug-in. The "enabled" control is the host's bypass
// parameter, turned round (1 bypassed).
//
// Hosts keep ids, normalised values and the texts below in their sessions, written by the first
// release of these plug-ins, so every rule here reproduces what that release did, down to where
// a number is rounded to a float: a normalised value is the plain value's place between the
// parameter's limits (linearly, logarithmic controls too), a switch is a step of 1 and the spread
// one step a degree, and a text is the plain value printed "%f" ("%d" for whole numbers).
#pragma once

#include <travesty/edit_controller.h>

#include <cstdint>

#include "plugins/plugin_ports.h"

namespace flanger::plugins::vst3 {

constexpr std::uint32_t kChannels = FLANGER_VST3_CHANNELS;

// The controls this plug-in has, in the table's order: parameter k is control Controls[k].
struct ParameterMap {
    std::uint32_t Controls[kControlCount] = {};
    std::uint32_t Count = 0;
    constexpr ParameterMap() {
        for (std::uint32_t control = 0; control < kControlCount; ++control) {
            if (HasControl(kChannels, control)) Controls[Count++] = control;
        }
    }
    // The parameter of `control`; Count where the plug-in does not have it.
    constexpr std::uint32_t ParameterOf(std::uint32_t control) const {
        std::uint32_t k = 0;
        while (k < Count && Controls[k] != control) ++k;
        return k;
    }
};
inline constexpr ParameterMap kParameters;

// A parameter's plain values: the control's range in its units, but for the bypass, 0 or 1.
struct ParameterRange {
    float Minimum;
    float Maximum;
    float Default;
    bool Switch;  // two values, Minimum and Maximum
    bool Whole;   // whole numbers only
};
ParameterRange RangeOf(std::uint32_t parameter);

// The name hosts and the state know the parameter by: the control's key, "dpf_bypass" for the
// bypass.
const char* SymbolOf(std::uint32_t parameter);

// The parameter's plain value of a control's port value, and back.
float PlainOfPort(std::uint32_t control, float port);
float PortOfPlain(std::uint32_t control, float plain);

// Every conversion below takes a parameter that exists (parameter < kParameters.Count).
void DescribeParameter(std::uint32_t parameter, v3_param_info& info);
double NormalisedToPlain(std::uint32_t parameter, double normalised);
double PlainToNormalised(std::uint32_t parameter, double plain);
void TextOfNormalised(std::uint32_t parameter, double normalised, v3_str_128 text);
double NormalisedOfText(std::uint32_t parameter, const char* text);

// The port value `port` after the host moves the parameter to `normalised`; false where the
// move leaves it as it is (the same step of a switch or a whole number, or the same place to
// within 1e-7, as some hosts keep normalised values as floats).
bool MovePort(std::uint32_t parameter, double normalised, float& port);

// Copies ASCII `text` into a host's UTF-16 string of `size` units, cut short if need be.
void CopyUtf16(int16_t* out, std::size_t size, const char* text);
// The ASCII of a host's UTF-16 string, at most size - 1 units, into `out`.
void CopyFromUtf16(char* out, std::size_t size, const int16_t* text);

}  // namespace flanger::plugins::vst3
