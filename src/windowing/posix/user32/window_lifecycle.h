// Creating and destroying windows, as USER32 does it.
//
// Creation: the window is entered in its parent's children (at the end: window order is
// creation order), then WM_NCCREATE and WM_CREATE with a CREATESTRUCTA; WM_NCCREATE answered
// FALSE or WM_CREATE answered -1 ends it with WM_NCDESTROY alone (no WM_DESTROY) and a null
// result. Then WM_SIZE and WM_MOVE, and with WS_VISIBLE, ShowWindow.
//
// DestroyWindow: hides the window (a child through ShowWindow, so the focus goes back to its
// parent), destroys the top-level windows it owns, sends WM_DESTROY to the window and then to
// its children, parent before children; then WM_NCDESTROY to the children, deepest first, and
// last to the window itself, after which its handle is gone. Every step looks again whether the
// windows still exist, since each message may destroy windows itself. A DestroyWindow on a
// window whose destruction has begun returns TRUE and leaves the rest to the one under way.
// When a procedure throws during creation or destruction, the windows concerned are removed
// without further messages and the exception goes on to the caller.
#pragma once

#include "flanger_user32.h"

namespace flanger::platform::user32 {

// WM_NCDESTROY to the window's children (deepest first) and to the window, then its handle
// is removed. Used by failed creations and by DestroyWindow.
void FinalDestroy(HWND window);

// Removes the window and everything below it without sending anything. Never throws.
void RemoveQuietly(HWND window) noexcept;

}  // namespace flanger::platform::user32
