// The process's windows: handle numbers, the window objects behind them, the list of top-level
// windows, and the one lock that guards all of the layer's shared state.
//
// Handles are numbers from a counter, never addresses and never handed out twice, so a stale or
// made-up handle is looked up and refused. The lock is never held while a window procedure, a
// dialog procedure or a backend hook runs: callers copy what they need and let go first.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/window.h"

namespace flanger::platform::user32 {

// The layer's lock.
std::mutex& LayerMutex();

// Not thread-safe by itself: every member is called with LayerMutex() held.
class WindowTable {
public:
    // Gives `window` a new handle and enters it. Throws std::bad_alloc.
    HWND Add(const std::shared_ptr<Window>& window);

    // The live window of `handle`; null for anything else.
    Window* Find(HWND handle) const;
    std::shared_ptr<Window> Share(HWND handle) const;

    // Takes the handle out of the table; the object lives on while someone still shares it.
    void Remove(HWND handle);

    // The list that holds `window` among its siblings: its parent's children, or the
    // top-level windows. Null when the parent is gone.
    std::vector<HWND>* SiblingsOf(const Window& window);

    std::vector<HWND>& TopLevel() { return TopLevelWindows; }

    // Live windows of the given class (for UnregisterClassA).
    bool AnyOfClass(const void* windowClass) const;

    // Calls `visit(Window&)` for every live window, in no particular order.
    template <typename Visit>
    void ForEach(Visit&& visit) {
        for (auto& [number, window] : Windows) visit(*window);
    }

private:
    // Handles look like Windows ones: multiples of four, well away from null.
    static constexpr std::uintptr_t kFirstHandle = 0x10000;
    static constexpr std::uintptr_t kHandleStep = 4;

    std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> Windows;
    std::vector<HWND> TopLevelWindows;
    std::uintptr_t NextHandle = kFirstHandle;
};

// The table; the caller holds LayerMutex().
WindowTable& Windows();

// These take the lock themselves. LookupWindow gives the window of `handle` (null with
// ERROR_INVALID_WINDOW_HANDLE); LookupOwnWindow also requires that the calling thread owns it
// (null with ERROR_ACCESS_DENIED otherwise). Neither throws.
std::shared_ptr<Window> LookupWindow(HWND handle);
std::shared_ptr<Window> LookupOwnWindow(HWND handle);

// Runs `use` on the live window of `handle` with LayerMutex() held, inside the layer's guard,
// and returns its result: `failed` when `handle` is not a window (ERROR_INVALID_WINDOW_HANDLE)
// or `use` throws. For the short reads and writes that call no window procedure.
template <typename Result, typename Use>
Result WithLockedWindow(HWND handle, Result failed, Use&& use) noexcept {
    Result result = failed;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        Window* window = Windows().Find(handle);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return;
        }
        result = use(*window);
    });
    return result;
}

}  // namespace flanger::platform::user32
