// Where a window is and whether it shows: geometry in pixels, visibility, enabling and the
// keyboard focus.
//
// There is no non-client area: a window's client rectangle is its whole rectangle, so client
// and window origins coincide. Top-level windows sit on a virtual screen whose origin is (0, 0).
// The calls that send messages (MoveWindow, ShowWindow, EnableWindow, SetFocus) must come from
// the window's own thread.
#include <algorithm>
#include <mutex>
#include <utility>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/thread_queue.h"
#include "windowing/posix/user32/window_backend.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

// The window's client origin on the screen. LayerMutex() held.
POINT ScreenOrigin(const Window& window) {
    POINT origin{window.rect.left, window.rect.top};
    for (HWND parent = window.parent; parent != nullptr;) {
        const Window* above = Windows().Find(parent);
        if (above == nullptr) {
            break;
        }
        origin.x += above->rect.left;
        origin.y += above->rect.top;
        parent = above->parent;
    }
    return origin;
}

// `window` or one of its ancestors is `ancestor`. LayerMutex() held.
bool IsSelfOrDescendant(HWND window, HWND ancestor) {
    for (HWND current = window; current != nullptr;) {
        if (current == ancestor) {
            return true;
        }
        const Window* found = Windows().Find(current);
        current = found != nullptr ? found->parent : nullptr;
    }
    return false;
}

}  // namespace
}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

BOOL GetWindowRect(HWND window, LPRECT rect) {
    return WithLockedWindow(window, FALSE, [&](const Window& current) {
        if (rect == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        const POINT origin = ScreenOrigin(current);
        *rect = RECT{origin.x, origin.y, origin.x + (current.rect.right - current.rect.left),
                     origin.y + (current.rect.bottom - current.rect.top)};
        return TRUE;
    });
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    return WithLockedWindow(window, FALSE, [&](const Window& current) {
        if (rect == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *rect = RECT{0, 0, current.rect.right - current.rect.left,
                     current.rect.bottom - current.rect.top};
        return TRUE;
    });
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    int result = 0;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        POINT fromOrigin{0, 0};
        POINT toOrigin{0, 0};
        for (const auto& [handle, origin] : {std::pair{from, &fromOrigin}, {to, &toOrigin}}) {
            if (handle == nullptr) {
                continue;  // the screen
            }
            const Window* window = Windows().Find(handle);
            if (window == nullptr) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return;
            }
            *origin = ScreenOrigin(*window);
        }
        const LONG dx = fromOrigin.x - toOrigin.x;
        const LONG dy = fromOrigin.y - toOrigin.y;
        for (UINT i = 0; points != nullptr && i < count; ++i) {
            points[i].x += dx;
            points[i].y += dy;
        }
        result = MAKELONG(dx, dy);
    });
    return result;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
    (void)repaint;  // the headless backend paints nothing
    const std::shared_ptr<Window> target = LookupOwnWindow(window);
    if (target == nullptr) {
        return FALSE;
    }
    const RECT moved{x, y, x + std::max(width, 0), y + std::max(height, 0)};
    RECT before{};
    {
        std::lock_guard lock(LayerMutex());
        before = target->rect;
        target->rect = moved;
    }
    Backend().WindowMoved(window, moved);
    if (before.left != moved.left || before.top != moved.top) {
        SendMessageA(window, WM_MOVE, 0, MAKELPARAM(moved.left, moved.top));
    }
    if (before.right - before.left != moved.right - moved.left ||
        before.bottom - before.top != moved.bottom - moved.top) {
        SendMessageA(window, WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(moved.right - moved.left, moved.bottom - moved.top));
    }
    return TRUE;
}

BOOL ShowWindow(HWND window, int command) {
    const std::shared_ptr<Window> target = LookupOwnWindow(window);
    if (target == nullptr) {
        return FALSE;
    }
    bool wasVisible = false;
    {
        std::lock_guard lock(LayerMutex());
        wasVisible = (target->style & WS_VISIBLE) != 0;
    }
    const bool show = command != SW_HIDE;
    if (show == wasVisible) {
        return wasVisible ? TRUE : FALSE;
    }
    SendMessageA(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    HWND focusBack = nullptr;
    bool moveFocus = false;
    {
        std::lock_guard lock(LayerMutex());
        if (Windows().Find(window) == nullptr) {
            return wasVisible ? TRUE : FALSE;
        }
        if (show) {
            target->style |= WS_VISIBLE;
        } else {
            target->style &= ~static_cast<DWORD>(WS_VISIBLE);
            // Hiding the focus (or a window around it) gives the focus back to the parent.
            const HWND focus = target->queue->focus;
            if (focus != nullptr && IsSelfOrDescendant(focus, window)) {
                moveFocus = true;
                focusBack = (target->style & WS_CHILD) != 0 ? target->parent : nullptr;
            }
        }
    }
    Backend().WindowShown(window, show);
    if (moveFocus) {
        SetFocus(focusBack);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
    BOOL visible = FALSE;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        const Window* current = Windows().Find(window);
        while (current != nullptr && (current->style & WS_VISIBLE) != 0) {
            if (current->parent == nullptr) {
                visible = TRUE;
                return;
            }
            current = Windows().Find(current->parent);
        }
    });
    return visible;
}

BOOL EnableWindow(HWND window, BOOL enable) {
    const std::shared_ptr<Window> target = LookupOwnWindow(window);
    if (target == nullptr) {
        return FALSE;
    }
    bool wasDisabled = false;
    bool hadFocus = false;
    {
        std::lock_guard lock(LayerMutex());
        wasDisabled = (target->style & WS_DISABLED) != 0;
        if (enable) {
            target->style &= ~static_cast<DWORD>(WS_DISABLED);
        } else {
            target->style |= WS_DISABLED;
            hadFocus = target->queue->focus == window;
        }
    }
    if (enable && wasDisabled) {
        SendMessageA(window, WM_ENABLE, TRUE, 0);
    } else if (!enable && !wasDisabled) {
        if (hadFocus) {
            SetFocus(nullptr);  // a disabled window cannot keep the focus
        }
        SendMessageA(window, WM_ENABLE, FALSE, 0);
    }
    Backend().Invalidated(window);
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window) {
    return WithLockedWindow(window, FALSE, [](const Window& current) {
        return (current.style & WS_DISABLED) == 0 ? TRUE : FALSE;
    });
}

HWND SetFocus(HWND window) {
    HWND previous = nullptr;
    bool proceed = false;
    if (!RunGuarded([&] {
            const std::shared_ptr<ThreadQueue>& queue = CallingThreadQueue();
            std::lock_guard lock(LayerMutex());
            if (window != nullptr) {
                const Window* target = Windows().Find(window);
                if (target == nullptr) {
                    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                    return;
                }
                if (target->thread != std::this_thread::get_id()) {
                    SetLastError(ERROR_ACCESS_DENIED);
                    return;
                }
                // Neither the window nor a window around it may be disabled.
                for (const Window* current = target; current != nullptr;
                     current = Windows().Find(current->parent)) {
                    if ((current->style & WS_DISABLED) != 0) {
                        return;
                    }
                }
            }
            previous = Windows().Find(queue->focus) != nullptr ? queue->focus : nullptr;
            queue->focus = window;
            proceed = true;
        })) {
        return nullptr;
    }
    if (!proceed || previous == window) {
        return previous;
    }
    // As USER32: the focus is moved first, then the old window hears of it, then the new one,
    // unless the first message moved the focus elsewhere.
    if (previous != nullptr) {
        SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
        if (GetFocus() != window) {
            return previous;
        }
    }
    if (window != nullptr && IsWindow(window)) {
        SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

HWND GetFocus(void) {
    HWND focus = nullptr;
    RunGuarded([&] {
        const std::shared_ptr<ThreadQueue>& queue = CallingThreadQueue();
        std::lock_guard lock(LayerMutex());
        focus = Windows().Find(queue->focus) != nullptr ? queue->focus : nullptr;
    });
    return focus;
}

}  // extern "C"
