// The factory presets' values. Each is a point inside every control's range, checked below so
// that a preset can never hand a host a value its port refuses.
#include "effect/factory_presets.h"

#include <algorithm>
#include <cctype>

#include "effect/effect_controls.h"

namespace flanger {
namespace {

// Level: from a feedback gain of about 0.6 the sweep rings at its resonances, the louder the nearer
// the gain comes to 1 (the delayed copy's peaks grow as 1 / (1 - gain)). Those presets lower the
// level, more for more feedback, so that they sound about as loud as the others and a mix that
// peaks near full scale clips less; the others keep 0 dB, the effect's own level.
constexpr FactoryPreset kPresets[] = {
    {"subtle-doubling",
     "Subtle doubling",
     "A slow, shallow drift of a quieter copy: thickens a voice or a guitar without an audible "
     "sweep.",
     {.Depth = 50,
      .Delay = 80,
      .Width = 15,
      .Sine = 1,
      .Feedback = -10,
      .Speed = 20,
      .Mix = 40,
      .Spread = 60}},
    {"classic-jet",
     "Classic jet",
     "Short delay, wide triangle sweep and strong feedback: the rushing jet-plane sweep.",
     {.Depth = 100,
      .Delay = 15,
      .Width = 60,
      .Sine = 0,
      .Feedback = 75,
      .Speed = 15,
      .Level = -30}},
    {"slow-sine",
     "Slow sine",
     "A smooth sine sweep over ten seconds with a little feedback, the channels a quarter "
     "turn apart.",
     {.Depth = 90, .Delay = 30, .Width = 50, .Sine = 1, .Feedback = 30, .Speed = 10, .Spread = 90}},
    {"inverted-short",
     "Inverted short",
     "A very short delay with inverted feedback: a hollow, nasal sweep.",
     {.Depth = 80,
      .Delay = 10,
      .Width = 25,
      .Sine = 0,
      .Feedback = 60,
      .Speed = 40,
      .InvertFeedback = true,
      .Level = -15}},
    {"vibrato",
     "Vibrato",
     "The delayed copy alone, swept fast by a sine: a pitch vibrato instead of a flange.",
     {.Depth = 100,
      .Delay = 30,
      .Width = 30,
      .Sine = 1,
      .Feedback = -10,
      .Speed = 200,
      .Mix = 100}},
    {"wide-stereo",
     "Wide stereo",
     "A moderate sine sweep whose left and right channels move in opposite directions.",
     {.Depth = 70,
      .Delay = 40,
      .Width = 40,
      .Sine = 1,
      .Feedback = 40,
      .Speed = 25,
      .Spread = 180}},
    {"metallic-ring",
     "Metallic ring",
     "A tiny delay barely swept with feedback near its limit: a ringing, metallic resonance.",
     {.Depth = 100,
      .Delay = 10,
      .Width = 10,
      .Sine = 0,
      .Feedback = 95,
      .Speed = 10,
      .Level = -60}},
};

constexpr bool WithinTheControls(const LiveSettings& settings) {
    for (const Control& control : kControls) {
        if (control.Field == nullptr || control.Unit == ControlUnit::Switch) continue;
        std::int32_t value = settings.*control.Field;
        // A negative Feedback is feedback switched off, its gain kept.
        if (control.Field == &LiveSettings::Feedback && value < 0) value = -value;
        if (value < OnGrid(control, control.Minimum) || value > OnGrid(control, UpperLimit(control))) {
            return false;
        }
    }
    return true;
}
static_assert(std::ranges::all_of(kPresets,
                                  [](const FactoryPreset& p) {
                                      return WithinTheControls(p.Settings);
                                  }),
              "every factory preset lies within the controls' ranges");

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

std::span<const FactoryPreset> FactoryPresets() { return kPresets; }

const FactoryPreset* FindFactoryPreset(std::string_view name) {
    for (const FactoryPreset& preset : kPresets) {
        if (SameIgnoringCase(name, preset.Name) || SameIgnoringCase(name, preset.Key)) {
            return &preset;
        }
    }
    return nullptr;
}

}  // namespace flanger
