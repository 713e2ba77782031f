// The effect's controls, declared once. Every front end reads this table: the LV2 description
// and the LADSPA hints, the `flanger` command's options, range messages, value listings and
// help, the stores' value names, and the defaults of a new record and of the live settings.
//
// Hosts store the port symbols (Key) and the stored names in sessions and preset files, so
// neither ever changes. The row order is the plug-ins' port order (see ControlPortIndex in
// plugins/plugin_ports.h) and the order of the command's help: a control added later goes at
// the end.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/live_settings.h"
#include "flanger_plugin.h"

namespace flanger {

enum class ControlUnit { Milliseconds, Hertz, Gain, Switch, Degrees, Decibels };

// Where a control lives: in the module's record (and so in presets and the settings window), or
// only in the live engine of the plug-ins and of the command's process and demo.
enum class ControlHome { Record, Live };

// One control, in the units of the settings window and the `flanger` options. A numeric control
// sets the settings field `Field` in units of 1/Scale (tenths or hundredths) of its unit; the two
// switches without a Field are the feedback's: "feedback on" gives Feedback its sign, "invert
// feedback" sets LiveSettings::InvertFeedback.
struct Control {
    const char* Key;          // "delay": the plug-ins' port symbol
    const char* StoredName;   // "Delay": the record field's stored value; null: not in the record
    const char* Label;        // "Delay": the plug-ins' port name
    const char* Option;       // "--delay"; null: no option of its own
    const char* OptionValue;  // "MS": what the option takes in the help; null: nothing
    ControlUnit Unit;
    ControlHome Home;
    float Minimum;
    float Maximum;
    float Default;
    int Scale;         // settings units per unit: the step is 1/Scale
    bool Logarithmic;  // a host's slider moves evenly through the ratios
    std::int32_t LiveSettings::*Field;
    std::int32_t EffectSettings::*RecordField;  // where the module's record holds it; or null
    // The option's help after its name: lines joined by '\n', each indented under the first.
    const char* Help;
    // What the control does, in a sentence for a host's tooltip (the LV2 description's comment).
    const char* Description;
    // Where the plug-ins' ports and the option stop, when that is short of what a stored record
    // may hold (Maximum); 0: at Maximum.
    float Ceiling = 0.0f;
};

// The largest value the plug-ins' ports and the option take.
constexpr float UpperLimit(const Control& control) {
    return control.Ceiling > 0.0f ? control.Ceiling : control.Maximum;
}

// What follows a value of the unit when it is shown to a person: " ms", or nothing for a gain.
constexpr std::string_view UnitText(ControlUnit unit) {
    switch (unit) {
        case ControlUnit::Milliseconds:
            return " ms";
        case ControlUnit::Hertz:
            return " Hz";
        case ControlUnit::Degrees:
            return " degrees";
        case ControlUnit::Decibels:
            return " dB";
        case ControlUnit::Gain:
        case ControlUnit::Switch:
            break;
    }
    return "";
}

// Index into kControls.
enum ControlIndex : std::uint32_t {
    kDelayControl,
    kWidthControl,
    kSpeedControl,
    kDepthControl,
    kFeedbackControl,
    kFeedbackOnControl,
    kSineControl,
    kFeedbackInvertControl,
    kMixControl,
    kSpreadControl,
    kLevelControl,
    kEnabledControl,
    kControlCount
};

inline constexpr Control kControls[kControlCount] = {
    {"delay", "Delay", "Delay", "--delay", "MS", ControlUnit::Milliseconds, ControlHome::Record,
     1.0f, 10.0f, 5.0f, 10, false, &LiveSettings::Delay, &EffectSettings::Delay,
     "Delay, 1.0 to 10.0 milliseconds, in steps of 0.1 (default 5.0).",
     "The delay of the delayed copy, which the sweep moves up and down."},
    {"width", "Width", "Width", "--width", "MS", ControlUnit::Milliseconds, ControlHome::Record,
     1.0f, 10.0f, 5.0f, 10, false, &LiveSettings::Width, &EffectSettings::Width,
     "Sweep width, 1.0 to 10.0 milliseconds, in steps of 0.1 (default 5.0).",
     "How far the sweep moves the delay."},
    {"speed", "Speed", "Speed", "--speed", "HZ", ControlUnit::Hertz, ControlHome::Record, 0.1f,
     2.0f, 0.1f, 100, true, &LiveSettings::Speed, &EffectSettings::Speed,
     "Sweep rate, 0.10 to 2.00 hertz, in steps of 0.01 (default 0.10).",
     "How often the delay sweeps up and down, in sweeps per second."},
    {"depth", "Depth", "Depth", "--depth", "GAIN", ControlUnit::Gain, ControlHome::Record, 0.1f,
     1.0f, 0.9f, 100, false, &LiveSettings::Depth, &EffectSettings::Depth,
     "Gain of the delayed signal, 0.10 to 1.00, in steps of 0.01 (default 0.90).",
     "Gain of the delayed copy in the output."},
    // The record keeps the gain's magnitude; a negative value is feedback switched off. The
    // record takes up to 1.00, but a loop gain of 1 never decays and grows on tonal input, so
    // the ports and the option stop at 0.99, where every tail dies away.
    {"feedback", "Feedback", "Feedback", "--feedback", "GAIN", ControlUnit::Gain,
     ControlHome::Record, 0.1f, 1.0f, 0.1f, 100, false, &LiveSettings::Feedback,
     &EffectSettings::Feedback,
     "Feedback gain, 0.10 to 0.99, in steps of 0.01 (default 0.10); for\n"
     "process and demo also -0.99 to -0.10, which feeds the delayed signal\n"
     "back inverted (not a preset value: the record holds 0.10 to 1.00; at\n"
     "1.00 the tail never decays, so the option stops at 0.99).",
     "How much of the delayed copy goes back into the delay line: a stronger, ringing sweep "
     "(up to 0.99: at 1 the ringing would never die away).",
     0.99f},
    {"feedback_on", nullptr, "Feedback on", "--no-feedback", nullptr, ControlUnit::Switch,
     ControlHome::Record, 0.0f, 1.0f, 1.0f, 0, false, nullptr, nullptr, "Switch feedback off.",
     "Whether the delayed copy is fed back into the delay line."},
    {"sine", "Sine", "Sine sweep", "--sweep", "SHAPE", ControlUnit::Switch, ControlHome::Record,
     0.0f, 1.0f, 0.0f, 1, false, &LiveSettings::Sine, &EffectSettings::Sine,
     "Sweep shape: sine or triangle (default triangle).",
     "The shape of the sweep: a sine when on, a triangle when off."},
    // Signed feedback: on, the fed-back tap is subtracted (feedback -1 to 0 with the gain
    // above). The command takes it as a negative --feedback.
    {"feedback_invert", nullptr, "Invert feedback", nullptr, nullptr, ControlUnit::Switch,
     ControlHome::Live, 0.0f, 1.0f, 0.0f, 0, false, nullptr, nullptr, nullptr,
     "Feeds the delayed copy back inverted, for a hollower sound."},
    // Dry/wet: 0 the input alone, 0.5 input and delayed signal at full (the module's sound), 1
    // the delayed signal alone.
    {"mix", nullptr, "Mix", "--mix", "WET", ControlUnit::Gain, ControlHome::Live, 0.0f, 1.0f, 0.5f,
     100, false, &LiveSettings::Mix, nullptr,
     "Dry/wet balance, 0.00 to 1.00 (process and demo; default 0.50): 0 the\n"
     "input alone, 0.50 the input plus the delayed signal at full (the\n"
     "module's sound), 1 the delayed signal alone.",
     "Dry/wet balance: 0 the input alone, 0.5 the input and the delayed copy at full, 1 the "
     "delayed copy alone."},
    // Whole degrees between the sweeps of the left and the right channel.
    {"spread", nullptr, "Stereo spread", "--spread", "DEGREES", ControlUnit::Degrees,
     ControlHome::Live, 0.0f, 180.0f, 0.0f, 1, false, &LiveSettings::Spread, nullptr,
     "Stereo spread, 0 to 180 whole degrees (process and demo; default 0):\n"
     "each further channel's sweep runs that much ahead of the one before\n"
     "it in phase; 0 sweeps all channels together, as the module does.",
     "Degrees between the sweeps of the left and the right channel: the effect moves across the "
     "stereo image."},
    // The output's gain, in tenths of a decibel. The input plus the delayed copy peaks up to
    // 6 dB above the input, so a loud file needs it lowered; 0 dB multiplies by nothing.
    {"level", nullptr, "Level", "--gain", "DB", ControlUnit::Decibels, ControlHome::Live, -24.0f,
     12.0f, 0.0f, 10, false, &LiveSettings::Level, nullptr,
     "Output level, -24.0 to +12.0 decibels, in steps of 0.1 (process and\n"
     "demo; default 0.0), or auto: the largest level up to 0.0 that keeps\n"
     "the output's peak at -0.1 dBFS or below, found by a first pass over\n"
     "the input, which doubles the time taken (not for standard input).",
     "Gain of the output: the input and the delayed copy together peak up to 6 dB above the "
     "input."},
    // The plug-ins' bypass (the host's bypass button): off, the output crossfades to the input
    // while the effect runs on, so that switching it back on is as smooth. Not a setting.
    {"enabled", nullptr, "Enabled", nullptr, nullptr, ControlUnit::Switch, ControlHome::Live, 0.0f,
     1.0f, 1.0f, 0, false, nullptr, nullptr, nullptr,
     "Off, the plug-in passes its input through unchanged (the host's bypass)."},
};

// A value in the units of 1/Scale, rounded half away from zero: the settings' grid.
constexpr std::int32_t OnGrid(const Control& control, float value) {
    const float scaled = value * static_cast<float>(control.Scale);
    return static_cast<std::int32_t>(scaled < 0.0f ? scaled - 0.5f : scaled + 0.5f);
}
constexpr std::int32_t DefaultOnGrid(const Control& control) {
    return OnGrid(control, control.Default);
}
// The digits after the point of a value on the grid: 1 for tenths, 2 for hundredths.
constexpr int GridDecimals(const Control& control) {
    int decimals = 0;
    for (int scale = control.Scale; scale >= 10; scale /= 10) ++decimals;
    return decimals;
}

// The record's fields in their order, which is also the order they are stored in.
inline constexpr std::array<ControlIndex, 6> kRecordControls = {
    kDepthControl, kDelayControl, kWidthControl, kSineControl, kFeedbackControl, kSpeedControl};

// The stored names of the record's fields, in record order.
inline constexpr std::array<const char*, kRecordControls.size()> kStoredNames = [] {
    std::array<const char*, kRecordControls.size()> names{};
    for (std::size_t k = 0; k < kRecordControls.size(); ++k) {
        names[k] = kControls[kRecordControls[k]].StoredName;
    }
    return names;
}();

namespace control_checks {
constexpr bool RecordRowsAreTheRecordControls() {
    std::size_t rows = 0;
    for (const Control& control : kControls) {
        if ((control.RecordField == nullptr) != (control.StoredName == nullptr)) return false;
        if (control.RecordField != nullptr && control.Home != ControlHome::Record) return false;
        if (control.RecordField != nullptr) ++rows;
    }
    for (const ControlIndex index : kRecordControls) {
        if (kControls[index].RecordField == nullptr) return false;
    }
    return rows == kRecordControls.size();
}
constexpr bool DefaultsAreTheSettingsDefaults() {
    const LiveSettings settings{};
    for (const Control& control : kControls) {
        if (control.Field != nullptr && settings.*control.Field != DefaultOnGrid(control)) {
            return false;
        }
    }
    return true;
}
}  // namespace control_checks
static_assert(control_checks::RecordRowsAreTheRecordControls(),
              "every control with a stored name is a record field, listed in kRecordControls");
static_assert(control_checks::DefaultsAreTheSettingsDefaults(),
              "LiveSettings starts at the controls' defaults");

// A record with the controls' defaults and nothing else set (no engine, no call-back).
EffectSettings DefaultRecord();

// The live settings of a record's fields; the controls the record does not hold at their
// defaults.
LiveSettings SettingsOfRecord(const EffectSettings& record);

// Writes the record's fields of `settings` into `record`, leaving its other members alone.
void StoreInRecord(const LiveSettings& settings, EffectSettings& record);

// Whether a control the record does not hold is away from its default, so that only the live
// engine can render the settings.
bool NeedsLiveEngine(const LiveSettings& settings);

}  // namespace flanger
