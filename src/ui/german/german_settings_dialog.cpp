// The German settings window: dialog 22802 of the resource library Plugin_de.so.
//
// The plug-in binds its controls by id, so this template has the seventeen controls of the
// plug-in's own window with the same ids, classes and styles, in the same order; only the
// captions and the layout differ. The German words are longer than the English ones
// ("Verzögerung" for "Delay", "Rückkopplung" for "Feedback"), so each slider column is as wide
// as its caption and the dialog is wider (258 dialog units against 180); the two check boxes sit
// between the groups of sliders, their boxes aligned.
//
// The library exports nothing but FlangerFindResource (see flanger_resource_library.h).
#include <cstdint>
#include <iterator>

#include "flanger_resource_library.h"
#include "windowing/dialog_template.h"
#include "ui/settings_dialog_ids.h"

namespace flanger::ui {
namespace {

using platform::DialogItemSpec;
using platform::DialogSpec;

constexpr std::uint32_t kDialogStyle = 0x80C800C0;  // popup, caption, system menu, font

// Positions in dialog units. A slider is 18 units wide and its value label (20 wide) sits one
// unit to its left, both centred under the caption's text.
constexpr DialogItemSpec kItems[] = {
    {kDelaySliderId, kTrackbarClass, "Slider1", 17, 26, 18, 68, kTrackbarStyle},
    {kWidthSliderId, kTrackbarClass, "Slider2", 55, 26, 18, 68, kTrackbarStyle},
    {kNoControlId, kStaticClass, "Verzögerung", 4, 2, 46, 8, kCaptionStyle},
    {kNoControlId, kStaticClass, "Breite", 55, 2, 24, 8, kCaptionStyle},
    {kDelayLabelId, kStaticClass, "10.0", 16, 13, 20, 10, kValueLabelStyle},
    {kWidthLabelId, kStaticClass, "10.0", 54, 13, 20, 10, kValueLabelStyle},
    {kSpeedSliderId, kTrackbarClass, "Slider2", 87, 26, 18, 68, kTrackbarStyle},
    {kNoControlId, kStaticClass, "Tempo", 86, 2, 26, 8, kCaptionStyle},
    {kSpeedLabelId, kStaticClass, "5", 86, 13, 20, 10, kValueLabelStyle},
    {kDepthSliderId, kTrackbarClass, "Slider1", 183, 26, 18, 68, kTrackbarStyle},
    {kFeedbackSliderId, kTrackbarClass, "Slider2", 221, 26, 18, 68, kTrackbarStyle},
    {kNoControlId, kStaticClass, "Tiefe", 185, 2, 22, 8, kCaptionStyle},
    {kNoControlId, kStaticClass, "Rückkopplung", 208, 2, 48, 8, kCaptionStyle},
    {kDepthLabelId, kStaticClass, "10.0", 182, 13, 20, 10, kValueLabelStyle},
    {kFeedbackLabelId, kStaticClass, "10.0", 220, 13, 20, 10, kValueLabelStyle},
    {kSineCheckId, kButtonClass, "Sinus", 116, 36, 40, 14, kSineCheckStyle},
    {kFeedbackCheckId, kButtonClass, "Rückkopplung", 116, 63, 62, 14, kFeedbackCheckStyle},
};

constexpr DialogSpec kDialog = {
    kDialogStyle, "Flanger", 8, "MS Sans Serif", 0, 0, 258, 95, kItems, std::size(kItems),
};

// Built on first use and kept until the library is unloaded, as the entry point promises.
const platform::DialogTemplateBytes& SettingsDialogTemplate() {
    static const platform::DialogTemplateBytes bytes = platform::BuildDialogTemplate(kDialog);
    return bytes;
}

}  // namespace
}  // namespace flanger::ui

extern "C" __attribute__((visibility("default"))) const void* FlangerFindResource(
    std::uint32_t type, std::uint32_t name, std::uint32_t* size) {
    if (type != FLANGER_RESOURCE_TYPE_DIALOG || name != FLANGER_SETTINGS_DIALOG_ID) {
        return nullptr;
    }
    try {
        const flanger::platform::DialogTemplateBytes& bytes = flanger::ui::SettingsDialogTemplate();
        if (size != nullptr) *size = static_cast<std::uint32_t>(bytes.size());
        return bytes.data();
    } catch (...) {
        // Out of memory on the first call: no template, and the next call tries again.
        return nullptr;
    }
}
