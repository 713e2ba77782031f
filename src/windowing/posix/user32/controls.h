// The window procedures of the predefined control classes. They are ordinary procedures: a
// program may subclass a control and call them through CallWindowProcA.
#pragma once

#include "flanger_user32.h"

namespace flanger::platform::user32 {

LRESULT ButtonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT StaticProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TrackbarProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace flanger::platform::user32
