// Setting the settings dialog's children directly, by the ids of its template, in the units of
// the record (the settings' grid).
#include "plugins/editor/dialog_controls.h"

#include <cstdint>

#include "effect/effect_controls.h"
#include "ui/settings_dialog_ids.h"

namespace flanger::plugins {
namespace {

struct Slider {
    std::int32_t LiveSettings::*Field;
    int Id;
};

constexpr Slider kSliders[] = {
    {&LiveSettings::Delay, ui::kDelaySliderId},       {&LiveSettings::Width, ui::kWidthSliderId},
    {&LiveSettings::Speed, ui::kSpeedSliderId},       {&LiveSettings::Depth, ui::kDepthSliderId},
    {&LiveSettings::Feedback, ui::kFeedbackSliderId},
};

}  // namespace

void ShowInDialog(HWND dialog, const LiveSettings& settings) {
    for (const Slider& slider : kSliders) {
        // The feedback slider shows the magnitude; its check box the sign.
        const std::int32_t field = settings.*slider.Field;
        const LRESULT value = field < 0 ? -static_cast<LRESULT>(field) : field;
        // The dialog's sliders are vertical with the largest value at the top, the position
        // counting down from the range's far end: minimum + maximum - value.
        const LRESULT low = SendDlgItemMessageA(dialog, slider.Id, TBM_GETRANGEMIN, 0, 0);
        const LRESULT high = SendDlgItemMessageA(dialog, slider.Id, TBM_GETRANGEMAX, 0, 0);
        SendDlgItemMessageA(dialog, slider.Id, TBM_SETPOS, TRUE,
                            static_cast<LPARAM>(low + high - value));
    }
    CheckDlgButton(dialog, ui::kFeedbackCheckId,
                   settings.Feedback >= 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, ui::kSineCheckId, settings.Sine != 0 ? BST_CHECKED : BST_UNCHECKED);
    // A slider being dragged: the dialog reads every control back into its own state and
    // rewrites the labels from it, and stores nothing until a move is committed.
    SendMessageA(dialog, WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, 0),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, ui::kDelaySliderId)));
}

}  // namespace flanger::plugins
