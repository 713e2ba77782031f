// Reading a settings window as a person sees it.
#include "settings_window_view.h"

#include <vector>

namespace flanger::test {
namespace {

LONG Position(HWND dialog, int id) {
    return static_cast<LONG>(SendMessageA(GetDlgItem(dialog, id), TBM_GETPOS, 0, 0));
}

}  // namespace

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::vector<char> text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
    GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    return text.data();
}

SettingsView ReadSettingsView(HWND dialog) {
    return {
        Position(dialog, kDelaySlider),
        Position(dialog, kWidthSlider),
        Position(dialog, kSpeedSlider),
        Position(dialog, kDepthSlider),
        Position(dialog, kFeedbackSlider),
        WindowText(GetDlgItem(dialog, kDelayLabel)),
        WindowText(GetDlgItem(dialog, kWidthLabel)),
        WindowText(GetDlgItem(dialog, kSpeedLabel)),
        WindowText(GetDlgItem(dialog, kDepthLabel)),
        WindowText(GetDlgItem(dialog, kFeedbackLabel)),
        IsDlgButtonChecked(dialog, kFeedbackCheck),
        IsDlgButtonChecked(dialog, kSineCheck),
    };
}

std::ostream& operator<<(std::ostream& out, const SettingsView& v) {
    return out << "{positions Delay " << v.delayPos << ", Width " << v.widthPos << ", Speed "
               << v.speedPos << ", Depth " << v.depthPos << ", Feedback " << v.feedbackPos
               << "; labels \"" << v.delayLabel << "\", \"" << v.widthLabel << "\", \""
               << v.speedLabel << "\", \"" << v.depthLabel << "\", \"" << v.feedbackLabel
               << "\"; Feedback box " << v.feedbackCheck << ", Sine box " << v.sineCheck << "}";
}

std::ostream& operator<<(std::ostream& out, const Parameters& p) {
    return out << "{Depth " << p.Depth << ", Delay " << p.Delay << ", Width " << p.Width
               << ", Sine " << p.Sine << ", Feedback " << p.Feedback << ", Speed " << p.Speed
               << "}";
}

Parameters ParametersOf(const EffectSettings& r) {
    return {r.Depth, r.Delay, r.Width, r.Sine, r.Feedback, r.Speed};
}

void SetParameters(EffectSettings& r, const Parameters& p) {
    r.Depth = p.Depth;
    r.Delay = p.Delay;
    r.Width = p.Width;
    r.Sine = p.Sine;
    r.Feedback = p.Feedback;
    r.Speed = p.Speed;
}

}  // namespace flanger::test
