// What a person sees in a settings window, read through window messages only: the five slider
// positions, the five value labels and the two check boxes. And the six parameters of a record,
// for comparing what the window wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "flanger_plugin.h"
#include "windowing/user32.h"

namespace flanger::test {

// The documented control ids of dialog 22802.
inline constexpr int kDelaySlider = 22805;
inline constexpr int kWidthSlider = 22806;
inline constexpr int kDelayLabel = 22807;
inline constexpr int kWidthLabel = 22808;
inline constexpr int kSpeedSlider = 22809;
inline constexpr int kSpeedLabel = 22810;
inline constexpr int kDepthSlider = 22812;
inline constexpr int kFeedbackSlider = 22815;
inline constexpr int kDepthLabel = 22816;
inline constexpr int kFeedbackLabel = 22817;
inline constexpr int kSineCheck = 22818;
inline constexpr int kFeedbackCheck = 22819;

// The notification's wParam: control id 0, notification code 0x0400.
inline constexpr WPARAM kSettingsChanged = 0x04000000;

// Notifications that each release of the mouse button over a trackbar adds to one per store.
// The trackbar of Windows (and of Wine) reports TB_ENDTRACK on the button-up and again on the
// WM_CAPTURECHANGED that giving up its mouse capture brings, so the dialog stores the same values
// once more and tells the parent again; our Linux layer reports the end once.
#ifdef _WIN32
inline constexpr std::size_t kExtraPerTrackbarRelease = 1;
#else
inline constexpr std::size_t kExtraPerTrackbarRelease = 0;
#endif

struct SettingsView {
    LONG delayPos, widthPos, speedPos, depthPos, feedbackPos;
    std::string delayLabel, widthLabel, speedLabel, depthLabel, feedbackLabel;
    UINT feedbackCheck, sineCheck;

    friend bool operator==(const SettingsView&, const SettingsView&) = default;
};
std::ostream& operator<<(std::ostream& out, const SettingsView& view);

SettingsView ReadSettingsView(HWND settingsWindow);

std::string WindowText(HWND window);

struct Parameters {
    std::int32_t Depth, Delay, Width, Sine, Feedback, Speed;

    friend bool operator==(const Parameters&, const Parameters&) = default;
};
std::ostream& operator<<(std::ostream& out, const Parameters& p);

inline constexpr Parameters kDefaults = {90, 50, 50, 0, 10, 10};

Parameters ParametersOf(const EffectSettings& record);
void SetParameters(EffectSettings& record, const Parameters& p);

}  // namespace flanger::test
