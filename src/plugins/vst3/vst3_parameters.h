// The VST3 plug-ins' parameters as the controls of the table (effect/effect_controls.h): which
// control each parameter is, and the bypass parameter, the "enabled" control turned round. The
// plug-in (flanger_vst3.cpp) and its editor (flanger_vst3_ui.cpp) read them alike.
#pragma once

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

// The bypass parameter's value of the "enabled" port value, and back (1 bypassed).
inline float BypassOf(float enabled) { return enabled > 0.0f ? 0.0f : 1.0f; }

}  // namespace flanger::plugins::vst3
