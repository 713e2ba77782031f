// The settings window's dialog template and control ids, which the dialog code binds. The
// templates with these ids are written in settings_dialog.rc and german/german_settings_dialog.rc.
#pragma once

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

}  // namespace flanger::ui
