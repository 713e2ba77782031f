// What shows the window tree: the layer tells its backend about every change a display would
// have to follow. The default backend is headless and ignores them all; an on-screen backend
// paints the same tree (through the C API) and needs nothing from the controls or dialogs
// beyond these hooks.
//
// Hooks run on the window's thread without the layer's lock held, after the change; they must
// not throw.
#pragma once

#include "flanger_user32.h"

namespace flanger::platform::user32 {

class WindowBackend {
public:
    virtual ~WindowBackend() = default;
    virtual void WindowCreated(HWND window) noexcept = 0;
    virtual void WindowDestroyed(HWND window) noexcept = 0;
    // The new rectangle, in the parent's client coordinates.
    virtual void WindowMoved(HWND window, const RECT& rect) noexcept = 0;
    virtual void WindowShown(HWND window, bool visible) noexcept = 0;
    virtual void TextChanged(HWND window) noexcept = 0;
    // The window's look changed (a check state, a thumb position, focus).
    virtual void Invalidated(HWND window) noexcept = 0;
};

// The backend in use.
WindowBackend& Backend();

// Installs `backend` (null: the headless one again); it must outlive its use. Call before the
// first window is created.
void SetBackend(WindowBackend* backend);

}  // namespace flanger::platform::user32
