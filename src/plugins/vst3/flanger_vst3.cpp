// The VST3 plug-in: the framework's VST3 module (Debian's dpf-source) over PluginInstance, the
// instance the LV2, LADSPA and CLAP plug-ins run, so that every format sounds alike bit for bit.
//
// Parameters are the controls of the table (effect/effect_controls.h) with the same names, units,
// ranges and defaults, in the table's order (the mono plug-in has no spread). The "enabled"
// control becomes the host's bypass (1 bypassed). The framework saves and restores the
// parameters as the plug-in's state, and calls run once per block after the block's parameter
// changes; PluginInstance glides to new values as it does for an LV2 host.
#include <DistrhoPlugin.hpp>
#include <cstring>
#include <memory>
#include <string_view>

#include "plugins/plugin_instance.h"
#include "vst3_parameters.h"

START_NAMESPACE_DISTRHO

namespace {

using flanger::ControlUnit;
using flanger::kControlCount;
using flanger::kControls;
using flanger::kEnabledControl;
using flanger::plugins::ControlPortIndex;
using flanger::plugins::vst3::BypassOf;
using flanger::plugins::vst3::kChannels;
using flanger::plugins::vst3::kParameters;

class FlangerVst3 : public Plugin {
public:
    FlangerVst3() : Plugin(kParameters.Count, 0, 0) {
        for (std::uint32_t control = 0; control < kControlCount; ++control) {
            Ports[control] = kControls[control].Default;
        }
        sampleRateChanged(getSampleRate());
    }

protected:
    const char* getLabel() const override { return kChannels == 1 ? "flanger_mono" : "flanger"; }
    const char* getDescription() const override {
        return flanger::plugins::kPlugins[kChannels - 1].Description;
    }
    const char* getMaker() const override { return "Vornak"; }
    const char* getLicense() const override { return "MIT"; }
    uint32_t getVersion() const override { return d_version(1, 0, 0); }
    // The class id's third word; hosts keep it in their sessions, so it never changes.
    int64_t getUniqueId() const override {
        return kChannels == 1 ? d_cconst('V', 'F', 'l', 'm') : d_cconst('V', 'F', 'l', 's');
    }

    void initParameter(uint32_t index, Parameter& parameter) override {
        if (index >= kParameters.Count) return;
        const std::uint32_t control = kParameters.Controls[index];
        const flanger::Control& row = kControls[control];
        parameter.hints = kParameterIsAutomatable;
        if (row.Unit == ControlUnit::Switch) parameter.hints |= kParameterIsBoolean;
        if (row.Unit == ControlUnit::Switch || row.Unit == ControlUnit::Degrees) {
            parameter.hints |= kParameterIsInteger;
        }
        if (row.Logarithmic) parameter.hints |= kParameterIsLogarithmic;
        parameter.name = row.Label;
        parameter.symbol = row.Key;
        std::string_view unit = flanger::UnitText(row.Unit);
        if (!unit.empty()) unit.remove_prefix(1);  // the space before the unit
        parameter.unit = String(std::string(unit).c_str());
        parameter.description = row.Description;
        parameter.ranges.min = row.Minimum;
        parameter.ranges.max = flanger::UpperLimit(row);
        parameter.ranges.def = row.Default;
        if (control == kEnabledControl) {
            parameter.initDesignation(kParameterDesignationBypass);
        }
    }

    float getParameterValue(uint32_t index) const override {
        if (index >= kParameters.Count) return 0.0f;
        const std::uint32_t control = kParameters.Controls[index];
        return control == kEnabledControl ? BypassOf(Ports[control]) : Ports[control];
    }

    void setParameterValue(uint32_t index, float value) override {
        if (index >= kParameters.Count) return;
        const std::uint32_t control = kParameters.Controls[index];
        Ports[control] = control == kEnabledControl ? BypassOf(value) : value;
    }

    void sampleRateChanged(double sampleRate) override {
        Instance = flanger::plugins::PluginInstance::Create(sampleRate, kChannels);
        if (Instance == nullptr) return;
        for (std::uint32_t k = 0; k < kParameters.Count; ++k) {
            const std::uint32_t control = kParameters.Controls[k];
            Instance->ConnectPort(ControlPortIndex(kChannels, control), &Ports[control]);
        }
    }

    void activate() override {
        if (Instance != nullptr) Instance->Activate();
    }

    void run(const float** inputs, float** outputs, uint32_t frames) override {
        if (Instance == nullptr) {
            // No engine at this rate: the input passes as it is.
            for (std::uint32_t j = 0; j < kChannels; ++j) {
                if (outputs[j] != inputs[j]) std::memmove(outputs[j], inputs[j], frames * 4);
            }
            return;
        }
        for (std::uint32_t j = 0; j < kChannels; ++j) {
            Instance->ConnectChannel(j, inputs[j], outputs[j]);
        }
        Instance->Run(frames);
    }

private:
    // The controls' values as ports take them (the bypass as "enabled").
    float Ports[kControlCount] = {};
    std::unique_ptr<flanger::plugins::PluginInstance> Instance;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(FlangerVst3)
};

}  // namespace

Plugin* createPlugin() { return new FlangerVst3(); }

END_NAMESPACE_DISTRHO
