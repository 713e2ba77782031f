// Access to the dialog manager's record of a dialog window (font, base units, saved focus) and
// to its DWLP_* longs, for the dialog manager and DefDlgProcA.
#pragma once

#include <memory>
#include <mutex>

#include "flanger_user32.h"
#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/font_table.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {

// Runs `use(Window&, DialogInfo&)` with the lock held on the window's dialog record, creating
// one with the system font's base units if the window has none yet. False when the window is
// gone or memory ran out. `use` must not call out of the layer.
template <typename Use>
bool WithDialogInfo(HWND dialog, Use&& use) noexcept {
    bool done = false;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        Window* window = Windows().Find(dialog);
        if (window == nullptr) {
            return;
        }
        if (window->dialog == nullptr) {
            window->dialog = std::make_unique<DialogInfo>();
            window->dialog->baseUnitX = kSystemBaseUnitX;
            window->dialog->baseUnitY = kSystemBaseUnitY;
        }
        use(*window, *window->dialog);
        done = true;
    });
    return done;
}

// A DWLP_* long of a dialog window; false, without touching the last error, when the window
// has no such bytes. Take the lock.
bool ReadDialogLong(HWND dialog, int offset, LONG_PTR& value) noexcept;
bool WriteDialogLong(HWND dialog, int offset, LONG_PTR value) noexcept;

// The control a dialog gives the focus to: its first visible, enabled WS_TABSTOP control, or
// failing that its first visible, enabled control; null when there is none. Takes the lock.
HWND FirstFocusableControl(HWND dialog) noexcept;

}  // namespace flanger::platform::user32
