// The plug-ins' identities and ports, shared by the LV2 and LADSPA front ends and by the
// generator of the LV2 bundle's description, so that the code and the metadata cannot drift.
//
// Hosts store the URIs, the LADSPA IDs and labels, and the port symbols in their sessions: they
// never change. Port layout, the same in both front ends: the seven controls first (indices 0 to
// 6 in every plug-in, so that one user interface fits both), then the audio inputs, then the
// audio outputs. Controls added later go after the audio ports (ControlPortIndex): the switch
// that inverts the feedback, the mix, the stereo spread (on the
// mono plug-in too, where it changes nothing, so that both keep one layout).
#pragma once

#include <cstdint>

#include "engine/live_settings.h"

namespace flanger::plugins {

inline constexpr const char* kVendor = "Vornak";
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
};

inline constexpr PluginIdentity kPlugins[] = {
    {1, "urn:vornak:flanger:mono", "Flanger", 7350081, "vornak_flanger_mono"},
    {2, "urn:vornak:flanger:stereo", "Flanger (stereo)", 7350082, "vornak_flanger_stereo"},
};

enum class ControlUnit { Milliseconds, Hertz, Gain, Switch, Degrees };

// A control in the units of the settings window and the `flanger` options. A numeric control
// becomes the record field `Field` in units of 1/Scale (tenths or hundredths); the feedback
// switch gives Feedback its sign, the sweep switch is Sine.
struct ControlPort {
    const char* Symbol;
    const char* Name;
    ControlUnit Unit;
    float Minimum;
    float Maximum;
    float Default;
    std::int32_t LiveSettings::*Field;
    int Scale;
    bool Logarithmic;  // a host's slider moves evenly through the ratios
};

// Index into kControls; for the first kLeadingControls also the port index.
enum ControlIndex : std::uint32_t {
    kDelayPort,
    kWidthPort,
    kSpeedPort,
    kDepthPort,
    kFeedbackPort,
    kFeedbackOnPort,
    kSinePort,
    // Added later, after the audio ports.
    kFeedbackInvertPort,
    kMixPort,
    kSpreadPort,
    kControlCount
};

// The controls before the audio ports.
inline constexpr std::uint32_t kLeadingControls = kSinePort + 1;

// The port index of control `control` in a plug-in with `channels` channels.
constexpr std::uint32_t ControlPortIndex(std::uint32_t channels, std::uint32_t control) {
    return control < kLeadingControls ? control : control + 2 * channels;
}

inline constexpr ControlPort kControls[kControlCount] = {
    {"delay", "Delay", ControlUnit::Milliseconds, 1.0f, 10.0f, 5.0f, &LiveSettings::Delay, 10,
     false},
    {"width", "Width", ControlUnit::Milliseconds, 1.0f, 10.0f, 5.0f, &LiveSettings::Width, 10,
     false},
    {"speed", "Speed", ControlUnit::Hertz, 0.1f, 2.0f, 0.1f, &LiveSettings::Speed, 100, true},
    {"depth", "Depth", ControlUnit::Gain, 0.1f, 1.0f, 0.9f, &LiveSettings::Depth, 100, false},
    {"feedback", "Feedback", ControlUnit::Gain, 0.1f, 1.0f, 0.1f, &LiveSettings::Feedback, 100,
     false},
    {"feedback_on", "Feedback on", ControlUnit::Switch, 0.0f, 1.0f, 1.0f, nullptr, 0, false},
    {"sine", "Sine sweep", ControlUnit::Switch, 0.0f, 1.0f, 0.0f, &LiveSettings::Sine, 1, false},
    // Signed feedback: on, the fed-back tap is subtracted (feedback -1 to 0 with the gain above).
    {"feedback_invert", "Invert feedback", ControlUnit::Switch, 0.0f, 1.0f, 0.0f, nullptr, 0,
     false},
    // Dry/wet: 0 the input alone, 0.5 input and delayed signal at full (the module's sound), 1
    // the delayed signal alone.
    {"mix", "Mix", ControlUnit::Gain, 0.0f, 1.0f, 0.5f, &LiveSettings::Mix, 100, false},
    // Whole degrees between the sweeps of the left and the right channel.
    {"spread", "Stereo spread", ControlUnit::Degrees, 0.0f, 180.0f, 0.0f, &LiveSettings::Spread, 1,
     false},
};

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
    return kControlCount + 2 * channels;
}

// The settings of the controls' current values: each quantised to the settings record's grid
// (rounded to the nearest tenth of a millisecond, hundredth of a hertz or of a gain) after
// clamping into its range; a switch is on above 0. A missing control, or one that is not a
// number, counts as its default.
LiveSettings SettingsFromControls(const float* const values[kControlCount]);

}  // namespace flanger::plugins
