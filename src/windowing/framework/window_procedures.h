// The framework's window procedures: the one that subclassed windows get, and the dialog
// procedure that dialogs are created with. Both make the module's state current for the
// message, keep every exception inside the module, and find the object of the window in the
// thread's handle map.
#pragma once

#include "windowing/user32.h"

namespace flanger::framework {

LRESULT CALLBACK FrameworkWindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;

// Takes only WM_INITDIALOG, whose lParam is the CDialog being created (see
// CDialog::CreateIndirect); every later message reaches the dialog through its subclassed
// window procedure, and the dialog's class procedure calls this one back with them to no
// effect.
INT_PTR CALLBACK FrameworkDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;

// The message that the thread's innermost framework window procedure is handling, for
// CWnd::Default; null outside any.
const MSG* CurrentFrameworkMessage() noexcept;

}  // namespace flanger::framework
