// DefWindowProcA: what a window does with a message its procedure leaves alone. It keeps the
// window text (set from the CREATESTRUCTA at WM_NCCREATE, as on Windows, so a procedure that
// swallows WM_NCCREATE gets no text), and destroys the window on WM_CLOSE.
#include <mutex>
#include <string_view>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/text_conversion.h"
#include "windowing/posix/user32/window_backend.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

bool StoreText(HWND handle, std::string_view text) {
    bool stored = false;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        if (Window* window = Windows().Find(handle)) {
            window->text.assign(text);
            stored = true;
        }
    });
    if (stored) {
        Backend().TextChanged(handle);
    }
    return stored;
}

}  // namespace
}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            if (create != nullptr && create->lpszName != nullptr &&
                !IS_INTRESOURCE(create->lpszName)) {
                return StoreText(window, create->lpszName) ? TRUE : FALSE;
            }
            return TRUE;
        }
        case WM_SETTEXT: {
            const char* text = reinterpret_cast<const char*>(lParam);
            return StoreText(window, text != nullptr ? text : "") ? TRUE : FALSE;
        }
        case WM_GETTEXT: {
            int copied = 0;
            RunGuarded([&] {
                std::lock_guard lock(LayerMutex());
                if (const Window* current = Windows().Find(window)) {
                    const int size = wParam > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(wParam);
                    copied = CopyTextOut(current->text, reinterpret_cast<char*>(lParam), size);
                }
            });
            return copied;
        }
        case WM_GETTEXTLENGTH: {
            LRESULT length = 0;
            RunGuarded([&] {
                std::lock_guard lock(LayerMutex());
                if (const Window* current = Windows().Find(window)) {
                    length = static_cast<LRESULT>(current->text.size());
                }
            });
            return length;
        }
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        default:
            return 0;
    }
}
