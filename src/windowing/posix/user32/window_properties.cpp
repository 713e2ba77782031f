// What a window is: its place in the tree (GetWindow, GetParent), its class name, its text
// (through WM_SETTEXT and WM_GETTEXT, so that a subclass sees them, as on Windows) and its
// longs (style, id, procedure, user data and the class's extra bytes).
#include <algorithm>
#include <cstring>
#include <mutex>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/text_conversion.h"
#include "windowing/posix/user32/window_class.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

// A long of `size` bytes (4 or sizeof(LONG_PTR)) at `index`. LayerMutex() held.
bool ReadLong(const Window& window, int index, std::size_t size, LONG_PTR& value) {
    if (index >= 0) {
        const auto offset = static_cast<std::size_t>(index);
        if (offset > window.extraBytes.size() || window.extraBytes.size() - offset < size) {
            return false;
        }
        if (size == sizeof(LONG)) {
            LONG shortValue = 0;
            std::memcpy(&shortValue, window.extraBytes.data() + offset, sizeof shortValue);
            value = shortValue;
        } else {
            std::memcpy(&value, window.extraBytes.data() + offset, sizeof value);
        }
        return true;
    }
    // Pointer-sized fields cannot be read through the 32-bit call on a 64-bit target.
    const bool pointerField =
        index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT;
    if (pointerField && size < sizeof(LONG_PTR)) {
        return false;
    }
    switch (index) {
        case GWLP_WNDPROC:
            value = reinterpret_cast<LONG_PTR>(window.procedure);
            return true;
        case GWLP_HINSTANCE:
            value = reinterpret_cast<LONG_PTR>(window.instance);
            return true;
        case GWLP_HWNDPARENT:
            value = reinterpret_cast<LONG_PTR>((window.style & WS_CHILD) ? window.parent
                                                                         : window.owner);
            return true;
        case GWLP_ID:
            value = window.id;
            return true;
        case GWL_STYLE:
            value = static_cast<LONG_PTR>(window.style);
            return true;
        case GWL_EXSTYLE:
            value = static_cast<LONG_PTR>(window.exStyle);
            return true;
        case GWLP_USERDATA:
            value = window.userData;
            return true;
        default:
            return false;
    }
}

// Stores a long and gives the previous value. LayerMutex() held.
bool WriteLong(Window& window, int index, std::size_t size, LONG_PTR value, LONG_PTR& previous) {
    if (!ReadLong(window, index, size, previous)) {
        return false;
    }
    if (index >= 0) {
        unsigned char* target = window.extraBytes.data() + index;
        if (size == sizeof(LONG)) {
            const LONG shortValue = static_cast<LONG>(value);
            std::memcpy(target, &shortValue, sizeof shortValue);
        } else {
            std::memcpy(target, &value, sizeof value);
        }
        return true;
    }
    switch (index) {
        case GWLP_WNDPROC:
            window.procedure = reinterpret_cast<WNDPROC>(value);
            break;
        case GWLP_HINSTANCE:
            window.instance = reinterpret_cast<HINSTANCE>(value);
            break;
        case GWLP_HWNDPARENT:
            // Sets the owner of a top-level window; a child keeps its parent.
            if ((window.style & WS_CHILD) == 0) {
                window.owner = reinterpret_cast<HWND>(value);
            }
            break;
        case GWLP_ID:
            window.id = value;
            break;
        case GWL_STYLE:
            window.style = static_cast<DWORD>(value);
            break;
        case GWL_EXSTYLE:
            window.exStyle = static_cast<DWORD>(value);
            break;
        case GWLP_USERDATA:
            window.userData = value;
            break;
        default:
            break;
    }
    return true;
}

LONG_PTR GetLong(HWND handle, int index, std::size_t size) {
    return WithLockedWindow(handle, LONG_PTR{0}, [&](const Window& window) {
        LONG_PTR value = 0;
        if (!ReadLong(window, index, size, value)) {
            SetLastError(ERROR_INVALID_INDEX);
        }
        return value;
    });
}

LONG_PTR SetLong(HWND handle, int index, std::size_t size, LONG_PTR value) {
    return WithLockedWindow(handle, LONG_PTR{0}, [&](Window& window) {
        LONG_PTR previous = 0;
        if (!WriteLong(window, index, size, value, previous)) {
            SetLastError(ERROR_INVALID_INDEX);
        }
        return previous;
    });
}

}  // namespace
}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

HWND GetWindow(HWND window, UINT relation) {
    HWND result = nullptr;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        const Window* current = Windows().Find(window);
        if (current == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return;
        }
        if (relation == GW_CHILD) {
            result = current->children.empty() ? nullptr : current->children.front();
            return;
        }
        if (relation == GW_OWNER) {
            result = Windows().Find(current->owner) != nullptr ? current->owner : nullptr;
            return;
        }
        const std::vector<HWND>* siblings = Windows().SiblingsOf(*current);
        if (siblings == nullptr || siblings->empty()) {
            return;
        }
        const auto self = std::find(siblings->begin(), siblings->end(), window);
        switch (relation) {
            case GW_HWNDFIRST:
                result = siblings->front();
                break;
            case GW_HWNDLAST:
                result = siblings->back();
                break;
            case GW_HWNDNEXT:
                if (self != siblings->end() && self + 1 != siblings->end()) {
                    result = *(self + 1);
                }
                break;
            case GW_HWNDPREV:
                if (self != siblings->end() && self != siblings->begin()) {
                    result = *(self - 1);
                }
                break;
            default:
                SetLastError(ERROR_INVALID_PARAMETER);
                break;
        }
    });
    return result;
}

HWND GetParent(HWND window) {
    return WithLockedWindow(window, HWND{}, [](const Window& current) -> HWND {
        if ((current.style & WS_POPUP) != 0) {
            return current.owner;
        }
        return (current.style & WS_CHILD) != 0 ? current.parent : nullptr;
    });
}

int GetClassNameA(HWND window, LPSTR className, int maxCount) {
    return WithLockedWindow(window, 0, [&](const Window& current) {
        return CopyTextOut(current.windowClass->name, className, maxCount);
    });
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0 ? TRUE : FALSE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    if (text == nullptr || maxCount <= 0) {
        return 0;
    }
    text[0] = '\0';
    return static_cast<int>(SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                         reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthA(HWND window) {
    return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    return GetLong(window, index, sizeof(LONG_PTR));
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    return SetLong(window, index, sizeof(LONG_PTR), value);
}

LONG GetWindowLongA(HWND window, int index) {
    return static_cast<LONG>(GetLong(window, index, sizeof(LONG)));
}

LONG SetWindowLongA(HWND window, int index, LONG value) {
    return static_cast<LONG>(SetLong(window, index, sizeof(LONG), value));
}

}  // extern "C"
