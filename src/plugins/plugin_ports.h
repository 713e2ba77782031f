// The plug-ins' identities and ports, shared by the LV2, LADSPA and CLAP front ends and by the
// generator of the LV2 bundle's description, so that the code and the metadata cannot drift.
// The control ports are the effect's controls (effect/effect_controls.h), in their order.
//
// Hosts store the URIs, the LADSPA IDs and labels, the CLAP ids, and the port symbols in their
// sessions: they never change. Port layout, the same in both front ends: the seven controls first
// (indices 0 to 6 in every plug-in, so that one user interface fits both), then the audio inputs,
// then the audio outputs. Controls added later go after the audio ports (ControlPortIndex), in the
// table's order: the switch that inverts the feedback, the mix, the stereo spread (the stereo
// plug-in's alone: one channel has nothing to spread), the level, and the bypass ("enabled").
#pragma once

#include <array>
#include <cstdint>

#include "effect/effect_controls.h"

namespace flanger::plugins {

inline constexpr const char* kVendor = "Vornak";
// The licence the project is released under, as the LV2 description names it.
inline constexpr const char* kLicenseUri = "http://opensource.org/licenses/MIT";
// The LV2 project of both plug-ins, whose maintainer is the vendor.
inline constexpr const char* kProjectUri = "urn:vornak:flanger";
// The LV2 plug-ins' window (an X11 UI showing the settings window), the same for both.
inline constexpr const char* kUiUri = "urn:vornak:flanger:ui";

struct PluginIdentity {
    std::uint32_t Channels;
    const char* Lv2Uri;
    const char* Name;
    unsigned long LadspaId;
    const char* LadspaLabel;
    // A host that lists both formats shows two plug-ins of one name otherwise; the LADSPA ones
    // say what they are, so that a user can pick the LV2 one, which has the window and presets.
    const char* LadspaName;
    const char* Description;  // the LV2 description's comment
    const char* ClapId;       // the CLAP plug-in's id, reverse-domain style as CLAP hosts expect
};

inline constexpr PluginIdentity kPlugins[] = {
    {1, "urn:vornak:flanger:mono", "Flanger", 7350081, "vornak_flanger_mono", "Flanger (LADSPA)",
     "A flanger: the input mixed with a copy of itself delayed by a few milliseconds, the delay "
     "swept up and down by a triangle or a sine, with some of the delayed copy fed back.",
     "vornak.flanger.mono"},
    {2, "urn:vornak:flanger:stereo", "Flanger (stereo)", 7350082, "vornak_flanger_stereo",
     "Flanger (stereo, LADSPA)",
     "The flanger for a stereo pair: a delay line for each channel, one sweep for both, or with "
     "a stereo spread a sweep for each, the right one ahead of the left in phase.",
     "vornak.flanger.stereo"},
};

// The controls before the audio ports.
inline constexpr std::uint32_t kLeadingControls = kSineControl + 1;

// Whether a plug-in with `channels` channels has control `control`.
constexpr bool HasControl(std::uint32_t channels, std::uint32_t control) {
    return control < kControlCount && (channels > 1 || control != kSpreadControl);
}

// The port index of control `control` in a plug-in with `channels` channels, which has it.
constexpr std::uint32_t ControlPortIndex(std::uint32_t channels, std::uint32_t control) {
    if (control < kLeadingControls) return control;
    const std::uint32_t index = control + 2 * channels;
    return channels == 1 && control > kSpreadControl ? index - 1 : index;
}

// The control at port `port` of a plug-in with `channels` channels; kControlCount for an audio
// port or a port it does not have.
constexpr std::uint32_t ControlAtPort(std::uint32_t channels, std::uint32_t port) {
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if (HasControl(channels, control) && ControlPortIndex(channels, control) == port) {
            return control;
        }
    }
    return kControlCount;
}

struct AudioPortNames {
    const char* Symbol;
    const char* Name;
};

// Audio port j of the inputs (or outputs) of a plug-in with `channels` channels.
constexpr AudioPortNames AudioInputPort(std::uint32_t channels, std::uint32_t j) {
    if (channels == 1) return {"in", "Input"};
    return j == 0 ? AudioPortNames{"in_l", "Left input"} : AudioPortNames{"in_r", "Right input"};
}
constexpr AudioPortNames AudioOutputPort(std::uint32_t channels, std::uint32_t j) {
    if (channels == 1) return {"out", "Output"};
    return j == 0 ? AudioPortNames{"out_l", "Left output"}
                  : AudioPortNames{"out_r", "Right output"};
}

inline constexpr std::uint32_t PortCount(std::uint32_t channels) {
    return kControlCount + 2 * channels - (HasControl(channels, kSpreadControl) ? 0 : 1);
}

// The settings of the controls' current values: each quantised to the settings record's grid
// (rounded to the nearest tenth of a millisecond, hundredth of a hertz or of a gain) after
// clamping into its range; a switch is on above 0. A missing control, or one that is not a
// number, counts as its default.
LiveSettings SettingsFromControls(const float* const values[kControlCount]);

// The control values that give `settings`, in the controls' units (the plug-in enabled): what a
// window or a preset sends to the host.
// Control values indexed by ControlIndex, in the controls' units.
using ControlValues = std::array<float, kControlCount>;

ControlValues ControlValuesOf(const LiveSettings& settings);

// Whether the bypass port's value leaves the plug-in on: above 0, or missing, or not a number.
bool Enabled(const float* value);

}  // namespace flanger::plugins
