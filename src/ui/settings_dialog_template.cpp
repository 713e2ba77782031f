// The program's own settings window template, written as the table a resource script would
// hold, and served as the module's own resources.
#include "ui/settings_dialog_template.h"

#include <iterator>

#include "flanger_resource_library.h"
#include "ui/settings_dialog_ids.h"

namespace flanger::ui {
namespace {

using platform::DialogItemSpec;
using platform::DialogSpec;

// Positions and sizes in dialog units.
constexpr DialogItemSpec kItems[] = {
    {kDelaySliderId, kTrackbarClass, "Slider1", 4, 26, 18, 68, kTrackbarStyle},
    {kWidthSliderId, kTrackbarClass, "Slider2", 28, 26, 18, 68, kTrackbarStyle},
    {kNoControlId, kStaticClass, "Delay", 3, 2, 20, 8, kCaptionStyle},
    {kNoControlId, kStaticClass, "Width", 27, 2, 20, 8, kCaptionStyle},
    {kDelayLabelId, kStaticClass, "10.0", 3, 13, 18, 10, kValueLabelStyle},
    {kWidthLabelId, kStaticClass, "10.0", 27, 13, 18, 10, kValueLabelStyle},
    {kSpeedSliderId, kTrackbarClass, "Slider2", 55, 26, 18, 68, kTrackbarStyle},
    {kNoControlId, kStaticClass, "Speed", 53, 2, 22, 8, kCaptionStyle},
    {kSpeedLabelId, kStaticClass, "5", 54, 13, 18, 10, kValueLabelStyle},
    {kDepthSliderId, kTrackbarClass, "Slider1", 126, 26, 18, 68, kTrackbarStyle},
    {kFeedbackSliderId, kTrackbarClass, "Slider2", 147, 26, 18, 68, kTrackbarStyle},
    {kNoControlId, kStaticClass, "Depth", 123, 1, 20, 8, kCaptionStyle},
    {kNoControlId, kStaticClass, "Feedback", 145, 1, 33, 8, kCaptionStyle},
    {kDepthLabelId, kStaticClass, "10.0", 125, 13, 18, 10, kValueLabelStyle},
    {kFeedbackLabelId, kStaticClass, "10.0", 146, 13, 18, 10, kValueLabelStyle},
    {kSineCheckId, kButtonClass, "Sine", 81, 36, 37, 14, kSineCheckStyle},
    {kFeedbackCheckId, kButtonClass, "Feedback", 75, 63, 46, 14, kFeedbackCheckStyle},
};

constexpr DialogSpec kDialog = {
    kStoredSettingsDialogStyle, "Flanger", 8, "MS Sans Serif", 0, 0, 180, 95, kItems,
    std::size(kItems),
};

}  // namespace

const DialogSpec& SettingsDialogSpec() { return kDialog; }

const platform::DialogTemplateBytes& SettingsDialogTemplate() {
    static const platform::DialogTemplateBytes bytes = platform::BuildDialogTemplate(kDialog);
    return bytes;
}

const void* FindOwnResource(std::uint32_t type, std::uint32_t name, std::uint32_t* size) noexcept {
    if (type != FLANGER_RESOURCE_TYPE_DIALOG || name != FLANGER_SETTINGS_DIALOG_ID) return nullptr;
    try {
        const platform::DialogTemplateBytes& bytes = SettingsDialogTemplate();
        if (size != nullptr) *size = static_cast<std::uint32_t>(bytes.size());
        return bytes.data();
    } catch (...) {
        // Out of memory on the first lookup: no template this time; the next lookup tries again.
        return nullptr;
    }
}

}  // namespace flanger::ui
