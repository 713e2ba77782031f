// Choosing a display. The X11 backend lives in a library of its own (libflanger_user32_x11.so,
// next to this one) that is loaded only when a program asks for a display, so that the layer,
// and the module that links it, run headless without any display library installed.
//
// A program asks with FlangerOpenDisplay; a test run asks with the environment variable
// FLANGER_WINDOW_BACKEND=x11, read once, when the first window is created.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/window_backend.h"

namespace flanger::platform::user32 {
namespace {

constexpr char kX11Library[] = "libflanger_user32_x11.so";
constexpr char kX11Factory[] = "FlangerCreateX11Backend";

using CreateBackend = WindowBackend* (*)(const char* displayName);

std::mutex& SelectionMutex() {
    static std::mutex mutex;
    return mutex;
}
WindowBackend* OpenedDisplay = nullptr;  // guarded by SelectionMutex()

// The X11 backend connected to `displayName`, or null. Its library stays loaded for the rest of
// the process (RTLD_NODELETE): windows and their display connection may outlive everything.
WindowBackend* OpenX11(const char* displayName) {
    std::lock_guard lock(SelectionMutex());
    if (OpenedDisplay != nullptr) return OpenedDisplay;
    Dl_info self{};
    if (dladdr(reinterpret_cast<void*>(&FlangerOpenDisplay), &self) == 0 ||
        self.dli_fname == nullptr) {
        return nullptr;
    }
    std::string path = self.dli_fname;
    path.erase(path.rfind('/') + 1);  // an empty directory when the name holds none
    path += kX11Library;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) return nullptr;
    const auto create = reinterpret_cast<CreateBackend>(dlsym(library, kX11Factory));
    OpenedDisplay = create != nullptr ? create(displayName) : nullptr;
    return OpenedDisplay;
}

}  // namespace

WindowBackend* BackendFromEnvironment() noexcept {
    const char* const wanted = std::getenv("FLANGER_WINDOW_BACKEND");
    if (wanted == nullptr || std::strcmp(wanted, "x11") != 0) return nullptr;
    WindowBackend* backend = nullptr;
    RunGuarded([&] { backend = OpenX11(nullptr); });
    return backend;
}

}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

BOOL FlangerOpenDisplay(LPCSTR displayName) {
    WindowBackend* backend = nullptr;
    RunGuarded([&] { backend = OpenX11(displayName); });
    if (backend == nullptr) return FALSE;
    SetBackend(backend);
    return TRUE;
}

HWND FlangerWrapNativeWindow(uintptr_t native) {
    const HWND window = CreateWindowExA(0, kForeignWindowClass, "", WS_POPUP | WS_VISIBLE, 0, 0, 0,
                                        0, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) return nullptr;
    if (!Backend().AdoptForeignWindow(window, native)) {
        DestroyWindow(window);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return window;
}

uintptr_t FlangerGetNativeWindow(HWND window) { return Backend().NativeWindowOf(window); }

void FlangerReleaseDisplayCaches(void) { Backend().ReleaseCaches(); }

}  // extern "C"
