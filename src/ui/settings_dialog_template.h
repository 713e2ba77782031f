// The program's own dialog template 22802: the settings window as the module ships it, used
// whenever no resource library supplies a replacement.
#pragma once

#include <cstdint>

#include "windowing/dialog_template.h"

namespace flanger::ui {

// The template as a table, read out of settings_dialog.rc: caption "Flanger", "MS Sans Serif"
// 8 pt, 180 x 95 dialog units, and the seventeen controls in creation order.
const platform::DialogSpec& SettingsDialogSpec();

// The template's bytes, built on first use and kept until the module is unloaded.
const platform::DialogTemplateBytes& SettingsDialogTemplate();

// The module's own resources in the form of a resource library's entry point (see
// flanger_resource_library.h): dialog 22802 and nothing else.
const void* FindOwnResource(std::uint32_t type, std::uint32_t name, std::uint32_t* size) noexcept;

}  // namespace flanger::ui
