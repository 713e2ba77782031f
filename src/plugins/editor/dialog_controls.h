// The module's settings dialog brought up to date in place, for a host that changed a control:
// the window, and whatever the person is doing in it, stays, only its sliders, check boxes and
// value labels move.
#pragma once

#include "engine/live_settings.h"
#include "windowing/user32.h"

namespace flanger::plugins {

// Shows the record's six fields of `settings` in `dialog`, a settings window the module made:
// each slider where the dialog puts that value, the check boxes, and the labels as the dialog
// itself writes them. Nothing goes to the record or the host. The host's UI thread.
void ShowInDialog(HWND dialog, const LiveSettings& settings);

}  // namespace flanger::plugins
