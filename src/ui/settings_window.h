// The creation of the settings window behind the CreateSettingsWindow export.
#pragma once

#include <cstddef>
#include <cstdint>

#include "flanger_plugin.h"
#include "windowing/user32.h"

namespace flanger::ui {

// The style the settings window is created with in place of the template's own: a child
// window without caption, frame or system menu, invisible until the host shows it.
inline constexpr std::uint32_t kSettingsWindowStyle = WS_CHILD | DS_3DLOOK | DS_SETFONT;

// Creates the settings window over `settings` as a hidden child of `parent` from dialog
// template 22802 as the module's resource search finds it (a resource library installed at
// start-up first, then the module's own). Returns the window, or null when there is no record,
// no parent window, no template, or the template does not make a settings window (a control
// missing or of the wrong kind). On null nothing is left behind. Runs in the module's state.
HWND CreateSettingsWindowFromResources(HWND parent, EffectSettings* settings);

// The same from the template at `storedTemplate` (`size` bytes), which is only read: the
// window is made from a copy whose style word is kSettingsWindowStyle.
HWND CreateSettingsWindowFromTemplate(HWND parent, EffectSettings* settings,
                                      const void* storedTemplate, std::size_t size);

}  // namespace flanger::ui
