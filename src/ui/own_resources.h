// The module's own resources as the windowing layer knows them.
#pragma once

#include "windowing/user32.h"

namespace flanger::ui {

// The module handle under which the module's own resources (the settings window's template)
// are found. On Linux the module registers them with the windowing layer on the first call;
// the same handle comes back on later calls.
HINSTANCE OwnResourceModule() noexcept;

#ifndef _WIN32
// When the module is unloaded: the windowing layer forgets the handle that OwnResourceModule
// registered, and everything else that points into the module (its windows, its classes).
void ReleaseOwnResourceModule(HINSTANCE module) noexcept;
#endif

}  // namespace flanger::ui
