// The "Static" class: a text with its SS_* alignment in the style, nothing else. It keeps the
// font it is given so that a painter can draw the text as the dialog's font says.
#include "windowing/posix/user32/controls.h"
#include "windowing/posix/user32/font_table.h"
#include "windowing/posix/user32/window_backend.h"

namespace flanger::platform::user32 {

LRESULT StaticProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETFONT:
            StoreWindowFont(window, reinterpret_cast<HFONT>(wParam));
            if (lParam != 0) {
                Backend().Invalidated(window);
            }
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(StoredWindowFont(window));
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace flanger::platform::user32
