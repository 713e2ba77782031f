// The LADSPA plug-ins: ladspa_descriptor and the host's calls, passed to PluginInstance.
//
// LADSPA states a control's default only as one of a few points of its range (the ends, a
// quarter, the middle, three quarters, on a linear or logarithmic scale, or 0 or 1); each control
// hints the point nearest to its default: delay and width 5.5 ms (the middle), depth 1.0 (the
// top), the level 0 dB.
// Only ladspa_descriptor is exported (ladspa.map); no exception leaves the library.
#include <ladspa.h>

#include <climits>
#include <cmath>
#include <vector>

#include "plugins/plugin_instance.h"

namespace flanger::plugins {
namespace {

// The default hint whose point of the range lies nearest to the control's default.
LADSPA_PortRangeHintDescriptor NearestDefault(const Control& port) {
    const double low = port.Minimum, high = UpperLimit(port);
    const auto between = [&](double share) {
        return port.Logarithmic ? std::exp(std::log(low) * (1.0 - share) + std::log(high) * share)
                                : low * (1.0 - share) + high * share;
    };
    struct Point {
        LADSPA_PortRangeHintDescriptor Hint;
        double Value;
    };
    // 0 and 1 are points of their own, where the range holds them (the level's 0 dB).
    const Point points[] = {{LADSPA_HINT_DEFAULT_MINIMUM, between(0.0)},
                            {LADSPA_HINT_DEFAULT_LOW, between(0.25)},
                            {LADSPA_HINT_DEFAULT_MIDDLE, between(0.5)},
                            {LADSPA_HINT_DEFAULT_HIGH, between(0.75)},
                            {LADSPA_HINT_DEFAULT_MAXIMUM, between(1.0)},
                            {LADSPA_HINT_DEFAULT_0, 0.0},
                            {LADSPA_HINT_DEFAULT_1, 1.0}};
    LADSPA_PortRangeHintDescriptor nearest = points[0].Hint;
    double distance = INFINITY;
    for (const Point& point : points) {
        const double d = std::fabs(point.Value - port.Default);
        const bool fixed = point.Hint == LADSPA_HINT_DEFAULT_0 || point.Hint == LADSPA_HINT_DEFAULT_1;
        if ((!fixed || (point.Value >= low && point.Value <= high)) && d < distance) {
            distance = d;
            nearest = point.Hint;
        }
    }
    return nearest;
}

LADSPA_PortRangeHint HintOf(const Control& port) {
    if (port.Unit == ControlUnit::Switch) {
        return {LADSPA_HINT_TOGGLED |
                    (port.Default > 0.0f ? LADSPA_HINT_DEFAULT_1 : LADSPA_HINT_DEFAULT_0),
                0.0f, 0.0f};
    }
    return {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE |
                (port.Logarithmic ? LADSPA_HINT_LOGARITHMIC : 0) |
                (port.Unit == ControlUnit::Degrees ? LADSPA_HINT_INTEGER : 0) | NearestDefault(port),
            port.Minimum, UpperLimit(port)};
}

PluginInstance* InstanceOf(LADSPA_Handle handle) { return static_cast<PluginInstance*>(handle); }

LADSPA_Handle Instantiate(const LADSPA_Descriptor* descriptor, unsigned long sampleRate) {
    const auto* plugin = static_cast<const PluginIdentity*>(descriptor->ImplementationData);
    try {
        return PluginInstance::Create(static_cast<double>(sampleRate), plugin->Channels).release();
    } catch (...) {
        return nullptr;  // memory exhausted: the host is told the plug-in cannot run
    }
}

void ConnectPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
    if (port <= UINT32_MAX) InstanceOf(handle)->ConnectPort(static_cast<std::uint32_t>(port), data);
}

void Activate(LADSPA_Handle handle) { InstanceOf(handle)->Activate(); }

void Run(LADSPA_Handle handle, unsigned long frames) {
    // A block of 2^32 frames or more (16 GiB per channel) is beyond any host; its frames past
    // the first 2^32 - 1 are left as they are.
    InstanceOf(handle)->Run(static_cast<std::uint32_t>(frames < UINT32_MAX ? frames : UINT32_MAX));
}

void Cleanup(LADSPA_Handle handle) { delete InstanceOf(handle); }

// One plug-in's descriptor and the port arrays it points into.
class LadspaPlugin {
public:
    explicit LadspaPlugin(const PluginIdentity& plugin) {
        const auto addControl = [this](const Control& port) {
            AddPort(LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL, port.Label, HintOf(port));
        };
        for (std::uint32_t i = 0; i < kLeadingControls; ++i) addControl(kControls[i]);
        for (std::uint32_t j = 0; j < plugin.Channels; ++j) {
            AddPort(LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO, AudioInputPort(plugin.Channels, j).Name,
                    {});
        }
        for (std::uint32_t j = 0; j < plugin.Channels; ++j) {
            AddPort(LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO,
                    AudioOutputPort(plugin.Channels, j).Name, {});
        }
        for (std::uint32_t i = kLeadingControls; i < kControlCount; ++i) {
            if (HasControl(plugin.Channels, i)) addControl(kControls[i]);
        }
        Descriptor = LADSPA_Descriptor{plugin.LadspaId,
                                       plugin.LadspaLabel,
                                       LADSPA_PROPERTY_HARD_RT_CAPABLE,
                                       plugin.LadspaName,
                                       kVendor,
                                       "MIT",
                                       PortDescriptors.size(),
                                       PortDescriptors.data(),
                                       PortNames.data(),
                                       Hints.data(),
                                       const_cast<PluginIdentity*>(&plugin),
                                       Instantiate,
                                       ConnectPort,
                                       Activate,
                                       Run,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       Cleanup};
    }
    LadspaPlugin(const LadspaPlugin&) = delete;
    LadspaPlugin& operator=(const LadspaPlugin&) = delete;

    const LADSPA_Descriptor* Get() const { return &Descriptor; }

private:
    void AddPort(LADSPA_PortDescriptor kind, const char* name, LADSPA_PortRangeHint hint) {
        PortDescriptors.push_back(kind);
        PortNames.push_back(name);
        Hints.push_back(hint);
    }

    std::vector<LADSPA_PortDescriptor> PortDescriptors;
    std::vector<const char*> PortNames;
    std::vector<LADSPA_PortRangeHint> Hints;
    LADSPA_Descriptor Descriptor{};
};

const LADSPA_Descriptor* DescriptorAt(unsigned long index) {
    static const LadspaPlugin mono(kPlugins[0]);
    static const LadspaPlugin stereo(kPlugins[1]);
    if (index == 0) return mono.Get();
    if (index == 1) return stereo.Get();
    return nullptr;
}

}  // namespace
}  // namespace flanger::plugins

extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(
    unsigned long index) {
    try {
        return flanger::plugins::DescriptorAt(index);
    } catch (...) {
        return nullptr;
    }
}
