// The default backend: no display, every hook does nothing. Geometry and text live in the
// window tree itself, so a headless process sees exactly what a painted one would.
#include <atomic>
#include <mutex>

#include "windowing/posix/user32/window_backend.h"

namespace flanger::platform::user32 {
namespace {

class HeadlessBackend final : public WindowBackend {
public:
    void WindowCreated(HWND) noexcept override {}
    void WindowDestroyed(HWND) noexcept override {}
    void WindowMoved(HWND, const RECT&) noexcept override {}
    void WindowShown(HWND, bool) noexcept override {}
    void TextChanged(HWND) noexcept override {}
    void Invalidated(HWND) noexcept override {}
};

// Null stands for the headless backend, which is never destroyed: windows may outlive main().
std::atomic<WindowBackend*> Installed{nullptr};

WindowBackend& Headless() {
    static auto* backend = new HeadlessBackend;
    return *backend;
}

}  // namespace

WindowBackend& Backend() {
    static std::once_flag asked;
    std::call_once(asked, [] {
        if (WindowBackend* display = BackendFromEnvironment()) SetBackend(display);
    });
    WindowBackend* installed = Installed.load(std::memory_order_acquire);
    return installed != nullptr ? *installed : Headless();
}

void SetBackend(WindowBackend* backend) { Installed.store(backend, std::memory_order_release); }

}  // namespace flanger::platform::user32
