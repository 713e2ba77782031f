// The settings window's dialog template and control ids, and the controls' classes and styles,
// shared by the program's own template, the dialog code and the resource libraries built with
// the project that replace the template.
#pragma once

#include <cstdint>

namespace flanger::ui {

inline constexpr int kSettingsDialogTemplateId = 22802;

inline constexpr int kDelaySliderId = 22805;
inline constexpr int kWidthSliderId = 22806;
inline constexpr int kDelayLabelId = 22807;
inline constexpr int kWidthLabelId = 22808;
inline constexpr int kSpeedSliderId = 22809;
inline constexpr int kSpeedLabelId = 22810;
inline constexpr int kDepthSliderId = 22812;
inline constexpr int kFeedbackSliderId = 22815;
inline constexpr int kDepthLabelId = 22816;
inline constexpr int kFeedbackLabelId = 22817;
inline constexpr int kSineCheckId = 22818;
inline constexpr int kFeedbackCheckId = 22819;
// Captions, which nothing addresses.
inline constexpr int kNoControlId = 65535;

// The controls' window classes and styles, the same in every template of the window.
inline constexpr char kTrackbarClass[] = "msctls_trackbar32";
inline constexpr char kStaticClass[] = "Static";
inline constexpr char kButtonClass[] = "Button";
inline constexpr std::uint32_t kTrackbarStyle = 0x5001001A;       // vertical, both sides, no ticks
inline constexpr std::uint32_t kValueLabelStyle = 0x50021001;     // centred, sunken, group
inline constexpr std::uint32_t kCaptionStyle = 0x50020000;        // left-aligned, group
inline constexpr std::uint32_t kSineCheckStyle = 0x50010003;      // automatic check box, tab stop
inline constexpr std::uint32_t kFeedbackCheckStyle = 0x50000003;  // automatic check box

}  // namespace flanger::ui
