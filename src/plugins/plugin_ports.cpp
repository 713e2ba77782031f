// Quantising the controls onto the settings record's grid.
#include "plugins/plugin_ports.h"

#include <cmath>

namespace flanger::plugins {
namespace {

float ValueOf(const Control& port, const float* value) {
    if (value == nullptr || std::isnan(*value)) return port.Default;
    return *value;
}

}  // namespace

LiveSettings SettingsFromControls(const float* const values[kControlCount]) {
    LiveSettings settings;
    for (std::uint32_t i = 0; i < kControlCount; ++i) {
        const Control& port = kControls[i];
        if (port.Field == nullptr) continue;
        const float value = ValueOf(port, values[i]);
        if (port.Unit == ControlUnit::Switch) {
            settings.*port.Field = value > 0.0f ? 1 : 0;
            continue;
        }
        const double clamped = value < port.Minimum   ? port.Minimum
                               : value > port.Maximum ? port.Maximum
                                                      : value;
        settings.*port.Field = static_cast<std::int32_t>(std::floor(clamped * port.Scale + 0.5));
    }
    // The switch gives the gain its sign, as the settings window's check box does.
    if (!(ValueOf(kControls[kFeedbackOnControl], values[kFeedbackOnControl]) > 0.0f)) {
        settings.Feedback = -settings.Feedback;
    }
    settings.InvertFeedback =
        ValueOf(kControls[kFeedbackInvertControl], values[kFeedbackInvertControl]) > 0.0f;
    return settings;
}

}  // namespace flanger::plugins
