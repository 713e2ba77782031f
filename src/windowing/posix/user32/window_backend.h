// What shows the window tree: the layer tells its backend about every change a display would
// have to follow. The default backend is headless and ignores them all; an on-screen backend
// paints the same tree (through the C API) and needs nothing from the controls or dialogs
// beyond these hooks.
//
// Hooks run on the window's thread without the layer's lock held, after the change; they must
// not throw.
#pragma once

#include <cstdint>

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

    // A display's events: GetMessageA and PeekMessageA call Poll on whatever thread they run,
    // before they look at the queue, and the backend posts what it read to the windows' own
    // queues. A backend that Polls wants GetMessageA to come back for more now and then.
    virtual void Poll() noexcept {}
    virtual bool Polls() const noexcept { return false; }
    // Whether the connection to the display broke (the server went away, or killed this
    // client): its windows are gone for good, and GetMessageA says so instead of waiting.
    virtual bool Lost() const noexcept { return false; }
    // DispatchMessageA offers each message here first, on the window's own thread; true when
    // the backend handled it (its paint and input messages), so no procedure sees it.
    virtual bool Dispatch(const MSG&) noexcept { return false; }
    // Makes `window`, a window of the foreign-window class, stand for the display's window
    // `native`, and gives it that window's size. False when the backend has no display or
    // `native` is not a window of it.
    virtual bool AdoptForeignWindow(HWND, std::uintptr_t) noexcept { return false; }
    // Lets go of what painting keeps for the life of the process (font caches).
    virtual void ReleaseCaches() noexcept {}
    // The display's window that `window` is, 0 for none.
    virtual std::uintptr_t NativeWindowOf(HWND) noexcept { return 0; }
};

// The backend in use.
WindowBackend& Backend();

// The class of the windows that stand for a display's own windows (FlangerWrapNativeWindow).
inline constexpr char kForeignWindowClass[] = "FlangerNativeWindow";

// The display backend that FLANGER_WINDOW_BACKEND asks for, null for none or when it cannot be
// opened. Backend() installs it on its first call.
WindowBackend* BackendFromEnvironment() noexcept;

// Installs `backend` (null: the headless one again); it must outlive its use. Call before the
// first window is created.
void SetBackend(WindowBackend* backend);

}  // namespace flanger::platform::user32
