// The thread's map from window handles to framework objects: the permanent objects that are
// attached to windows, and the temporary ones that FromHandle makes for other windows.
#pragma once

#include "windowing/user32.h"

namespace flanger::framework {

class CWnd;

CWnd* LookupPermanentObject(HWND window) noexcept;
// Records the pair; false when the window already has an object.
bool AddPermanentObject(HWND window, CWnd* object);
void RemovePermanentObject(HWND window) noexcept;

// The temporary object of a window that has no permanent one, made on first use.
CWnd* TemporaryObjectFor(HWND window);
// Deletes every temporary object of the thread.
void ReleaseTemporaryObjects() noexcept;

}  // namespace flanger::framework
