// CreateWindowExA, DestroyWindow and IsWindow.
#include "windowing/posix/user32/window_lifecycle.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/thread_queue.h"
#include "windowing/posix/user32/window_backend.h"
#include "windowing/posix/user32/window_class.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

int OrZero(int value) { return value == CW_USEDEFAULT ? 0 : value; }

// The top-level window above `window` (the owner of a new top-level window). LayerMutex() held.
HWND RootOf(HWND window) {
    Window* current = Windows().Find(window);
    while (current != nullptr && current->parent != nullptr) {
        current = Windows().Find(current->parent);
    }
    return current != nullptr ? current->handle : nullptr;
}

// Makes the window object and links it in; null with the last error set when it cannot be.
HWND EnterWindow(DWORD exStyle, LPCSTR className, DWORD style, RECT rect, HWND parent,
                 HMENU menuOrId, HINSTANCE instance) {
    HWND handle = nullptr;
    RunGuarded([&] {
        const std::shared_ptr<ThreadQueue>& queue = CallingThreadQueue();
        std::lock_guard lock(LayerMutex());
        auto windowClass = Classes().Find(className, instance);
        if (windowClass == nullptr) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return;
        }
        if (parent != nullptr && Windows().Find(parent) == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return;
        }
        if ((style & WS_CHILD) != 0 && parent == nullptr) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return;
        }
        auto window = std::make_shared<Window>();
        window->thread = std::this_thread::get_id();
        window->queue = queue;
        window->procedure = windowClass->procedure;
        window->extraBytes.assign(static_cast<std::size_t>(windowClass->windowExtraBytes), 0);
        window->windowClass = std::move(windowClass);
        window->style = style & ~static_cast<DWORD>(WS_VISIBLE);  // shown once created
        window->exStyle = exStyle;
        window->instance = instance;
        window->id = reinterpret_cast<LONG_PTR>(menuOrId);
        if ((style & WS_CHILD) != 0) {
            window->parent = parent;
        } else if (parent != nullptr) {
            window->owner = RootOf(parent);
        }
        window->rect = rect;
        std::vector<HWND>* siblings = Windows().SiblingsOf(*window);
        siblings->reserve(siblings->size() + 1);  // so that linking below cannot fail
        handle = Windows().Add(window);
        siblings->push_back(handle);
    });
    return handle;
}

// WM_DESTROY to the window, then to each child still there, parents first. The window is
// already marked. A failure to list the children removes them quietly.
void SendDestroyMessages(HWND window) {
    SendMessageA(window, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    if (!RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            if (const Window* current = Windows().Find(window)) {
                children = current->children;
            }
        })) {
        RemoveQuietly(window);
        return;
    }
    for (HWND child : children) {
        bool send = false;
        {
            std::lock_guard lock(LayerMutex());
            Window* current = Windows().Find(child);
            if (current != nullptr && !current->destroyStarted) {
                current->destroyStarted = true;
                send = true;
            }
        }
        if (send) {
            SendDestroyMessages(child);
        }
    }
}

// Takes the window and its subtree out of the table. LayerMutex() held; `removed` collects the
// handles for the backend when it can.
void RemoveLocked(HWND handle, std::vector<HWND>* removed) noexcept {
    std::shared_ptr<Window> window = Windows().Share(handle);
    if (window == nullptr) {
        return;
    }
    if (std::vector<HWND>* siblings = Windows().SiblingsOf(*window)) {
        std::erase(*siblings, handle);
    }
    // Children first; each removal unlinks the child from this list.
    while (!window->children.empty()) {
        const HWND child = window->children.back();
        RemoveLocked(child, removed);
        if (!window->children.empty() && window->children.back() == child) {
            window->children.pop_back();  // a child whose handle was already gone
        }
    }
    Windows().Remove(handle);
    DropPostedMessages(*window->queue, handle);
    if (window->queue->focus == handle) {
        window->queue->focus = nullptr;
    }
    if (removed != nullptr) {
        try {
            removed->push_back(handle);
        } catch (...) {
            // The backend then does not hear of this one; the window is gone all the same.
        }
    }
}

}  // namespace

void RemoveQuietly(HWND window) noexcept {
    std::vector<HWND> removed;
    try {
        std::lock_guard lock(LayerMutex());
        RemoveLocked(window, &removed);
    } catch (...) {
        return;  // the lock could not be taken: nothing was touched
    }
    for (HWND handle : removed) {
        Backend().WindowDestroyed(handle);
    }
}

void FinalDestroy(HWND window) {
    std::vector<HWND> children;
    bool proceed = false;
    if (!RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            Window* current = Windows().Find(window);
            if (current == nullptr || current->finalStarted) {
                return;
            }
            current->finalStarted = true;
            current->destroyStarted = true;
            children = current->children;
            proceed = true;
        })) {
        RemoveQuietly(window);
        return;
    }
    if (!proceed) {
        return;
    }
    try {
        for (HWND child : children) {
            FinalDestroy(child);
        }
        // Unlinked before its last message, as USER32 does: the parent no longer lists it.
        {
            std::lock_guard lock(LayerMutex());
            if (Window* current = Windows().Find(window)) {
                if (std::vector<HWND>* siblings = Windows().SiblingsOf(*current)) {
                    std::erase(*siblings, window);
                }
            }
        }
        SendMessageA(window, WM_NCDESTROY, 0, 0);
    } catch (...) {
        RemoveQuietly(window);
        throw;
    }
    RemoveQuietly(window);
}

}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance,
                     LPVOID createParam) {
    const int left = OrZero(x);
    const int top = OrZero(y);
    const int cx = std::max(OrZero(width), 0);
    const int cy = std::max(OrZero(height), 0);
    const HWND window = EnterWindow(exStyle, className, style, RECT{left, top, left + cx, top + cy},
                                    parent, menuOrId, instance);
    if (window == nullptr) {
        return nullptr;
    }
    Backend().WindowCreated(window);
    CREATESTRUCTA create{
        createParam, instance,  menuOrId, parent, cy, cx, top, left, static_cast<LONG>(style),
        windowName,  className, exStyle};
    try {
        const bool created =
            SendMessageA(window, WM_NCCREATE, 0, (LPARAM)&create) != 0 && IsWindow(window) &&
            SendMessageA(window, WM_CREATE, 0, (LPARAM)&create) != -1 && IsWindow(window);
        if (!created) {
            FinalDestroy(window);
            return nullptr;
        }
        RECT rect{};
        if (!RunGuarded([&] {
                std::lock_guard lock(LayerMutex());
                if (const Window* current = Windows().Find(window)) {
                    rect = current->rect;
                }
            })) {
            RemoveQuietly(window);
            return nullptr;
        }
        SendMessageA(window, WM_SIZE, SIZE_RESTORED,
                     MAKELPARAM(rect.right - rect.left, rect.bottom - rect.top));
        SendMessageA(window, WM_MOVE, 0, MAKELPARAM(rect.left, rect.top));
        if ((style & WS_VISIBLE) != 0 && IsWindow(window)) {
            ShowWindow(window, SW_SHOW);
        }
    } catch (...) {
        RemoveQuietly(window);
        throw;
    }
    return IsWindow(window) ? window : nullptr;
}

BOOL IsWindow(HWND window) {
    BOOL alive = FALSE;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        alive = Windows().Find(window) != nullptr ? TRUE : FALSE;
    });
    return alive;
}

BOOL DestroyWindow(HWND window) {
    std::shared_ptr<Window> target = LookupOwnWindow(window);
    if (target == nullptr) {
        return FALSE;
    }
    DWORD style = 0;
    {
        std::lock_guard lock(LayerMutex());
        if (target->destroyStarted || Windows().Find(window) == nullptr) {
            return TRUE;
        }
        target->destroyStarted = true;
        style = target->style;
    }
    try {
        const bool isChild = (style & WS_CHILD) != 0;
        if ((style & WS_VISIBLE) != 0) {
            if (isChild) {
                ShowWindow(window, SW_HIDE);
            } else {
                {
                    std::lock_guard lock(LayerMutex());
                    target->style &= ~static_cast<DWORD>(WS_VISIBLE);
                }
                Backend().WindowShown(window, false);
            }
        }
        if (!isChild) {
            // Top-level windows this one owns go first.
            for (;;) {
                HWND owned = nullptr;
                {
                    std::lock_guard lock(LayerMutex());
                    for (HWND candidate : Windows().TopLevel()) {
                        const Window* other = Windows().Find(candidate);
                        if (other != nullptr && other->owner == window &&
                            other->thread == std::this_thread::get_id() && !other->destroyStarted) {
                            owned = candidate;
                            break;
                        }
                    }
                }
                if (owned == nullptr) {
                    break;
                }
                DestroyWindow(owned);
            }
        }
        if (IsWindow(window)) {
            SendDestroyMessages(window);
        }
        FinalDestroy(window);
    } catch (...) {
        RemoveQuietly(window);
        throw;
    }
    return TRUE;
}

}  // extern "C"
