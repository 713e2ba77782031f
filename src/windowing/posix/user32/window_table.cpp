// Window handles and the layer's lock.
#include "windowing/posix/user32/window_table.h"

#include <algorithm>

#include "windowing/posix/user32/api_guard.h"

namespace flanger::platform::user32 {

std::mutex& LayerMutex() {
    // Never destroyed: windows may still be used by other threads while the process exits.
    static auto* mutex = new std::mutex;
    return *mutex;
}

WindowTable& Windows() {
    static auto* table = new WindowTable;
    return *table;
}

HWND WindowTable::Add(const std::shared_ptr<Window>& window) {
    const std::uintptr_t number = NextHandle;
    Windows.emplace(number, window);
    NextHandle += kHandleStep;
    window->handle = reinterpret_cast<HWND>(number);
    return window->handle;
}

Window* WindowTable::Find(HWND handle) const {
    const auto found = Windows.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == Windows.end() ? nullptr : found->second.get();
}

std::shared_ptr<Window> WindowTable::Share(HWND handle) const {
    const auto found = Windows.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == Windows.end() ? nullptr : found->second;
}

void WindowTable::Remove(HWND handle) { Windows.erase(reinterpret_cast<std::uintptr_t>(handle)); }

std::vector<HWND>* WindowTable::SiblingsOf(const Window& window) {
    if (window.parent == nullptr) {
        return &TopLevelWindows;
    }
    Window* parent = Find(window.parent);
    return parent == nullptr ? nullptr : &parent->children;
}

bool WindowTable::AnyOfClass(const void* windowClass) const {
    return std::any_of(Windows.begin(), Windows.end(), [windowClass](const auto& entry) {
        return entry.second->windowClass.get() == windowClass;
    });
}

std::shared_ptr<Window> LookupWindow(HWND handle) {
    std::shared_ptr<Window> window;
    if (!RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            window = Windows().Share(handle);
        })) {
        return nullptr;
    }
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return window;
}

std::shared_ptr<Window> LookupOwnWindow(HWND handle) {
    std::shared_ptr<Window> window = LookupWindow(handle);
    if (window != nullptr && window->thread != std::this_thread::get_id()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return window;
}

}  // namespace flanger::platform::user32
