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
                               : value > UpperLimit(port) ? UpperLimit(port)
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

std::array<float, kControlCount> ControlValuesOf(const LiveSettings& settings) {
    std::array<float, kControlCount> values{};
    for (std::uint32_t i = 0; i < kControlCount; ++i) {
        const Control& port = kControls[i];
        if (port.Field == nullptr) {
            values[i] = port.Default;
        } else if (port.Unit == ControlUnit::Switch) {
            values[i] = settings.*port.Field != 0 ? 1.0f : 0.0f;
        } else {
            values[i] = static_cast<float>(static_cast<double>(settings.*port.Field) / port.Scale);
        }
    }
    // The feedback's gain is a magnitude; its sign is the switch.
    values[kFeedbackControl] = std::fabs(values[kFeedbackControl]);
    values[kFeedbackOnControl] = settings.Feedback >= 0 ? 1.0f : 0.0f;
    values[kFeedbackInvertControl] = settings.InvertFeedback ? 1.0f : 0.0f;
    return values;
}

bool Enabled(const float* value) { return ValueOf(kControls[kEnabledControl], value) > 0.0f; }

}  // namespace flanger::plugins
