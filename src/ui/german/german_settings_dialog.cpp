// The German settings window: dialog 22802 of the resource library Plugin_de.so, written from the
// table read out of german_settings_dialog.rc (see there for the layout).
//
// The library exports nothing but FlangerFindResource (see flanger_resource_library.h).
#include <cstdint>

#include "flanger_resource_library.h"
#include "ui/german/german_settings_dialog_table.h"
#include "windowing/dialog_template.h"

namespace flanger::ui {
namespace {

// Built on first use and kept until the library is unloaded, as the entry point promises.
const platform::DialogTemplateBytes& SettingsDialogTemplate() {
    static const platform::DialogTemplateBytes bytes =
        platform::BuildDialogTemplate(kGermanSettingsDialog);
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
