// The program's own settings window template, the table read out of the resource script
// settings_dialog.rc (which the Windows builds compile instead), served as the module's own
// resources.
#include "ui/settings_dialog_template.h"

#include "flanger_resource_library.h"
#include "ui/settings_dialog_table.h"

namespace flanger::ui {

const platform::DialogSpec& SettingsDialogSpec() { return kSettingsDialog; }

const platform::DialogTemplateBytes& SettingsDialogTemplate() {
    static const platform::DialogTemplateBytes bytes =
        platform::BuildDialogTemplate(kSettingsDialog);
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
