// ClapPlugin's window: CLAP's gui extension over PluginWindow, embedded in the host's X11 window
// (Linux) or HWND (Windows), the host's changes shown, and on Linux its message loop run, by the
// host's timer.
#include <cstring>

#include "plugins/clap/clap_plugin.h"

namespace flanger::plugins {
namespace {

// The host's timer runs the window's message loop and shows the host's changes this often.
constexpr std::uint32_t kTimerMs = 30;

#ifdef _WIN32
constexpr const char* kWindowApi = CLAP_WINDOW_API_WIN32;
std::uintptr_t NativeWindowOf(const clap_window& window) {
    return reinterpret_cast<std::uintptr_t>(window.win32);
}
#else
constexpr const char* kWindowApi = CLAP_WINDOW_API_X11;
std::uintptr_t NativeWindowOf(const clap_window& window) { return window.x11; }
#endif

bool IsEmbedded(const char* api, bool floating) {
    return api != nullptr && std::strcmp(api, kWindowApi) == 0 && !floating;
}

}  // namespace

bool ClapPlugin::CreateWindow(const char* api, bool floating) {
    if (Window != nullptr || !IsEmbedded(api, floating) || HostTimers == nullptr) return false;
    Window = PluginWindow::Load(
        Identity, [this](std::uint32_t control, float value) { ChangedInWindow(control, value); });
    if (Window == nullptr) return false;
    if (!HostTimers->register_timer(Host, kTimerMs, &Timer)) {
        Window.reset();
        return false;
    }
    return true;
}

void ClapPlugin::DestroyWindow() {
    if (Timer != CLAP_INVALID_ID && HostTimers != nullptr)
        HostTimers->unregister_timer(Host, Timer);
    Timer = CLAP_INVALID_ID;
    Window.reset();
}

bool ClapPlugin::EmbedWindow(const clap_window& parent) {
    if (Window == nullptr || !IsEmbedded(parent.api, false)) return false;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        Shown[control] = Shared[control].load(std::memory_order_relaxed);
    }
    if (!Window->Embed(NativeWindowOf(parent), Shown)) return false;
    std::uint32_t width = 0, height = 0;
    Window->Size(width, height);
    if (HostGui != nullptr) HostGui->request_resize(Host, width, height);
    return true;
}

void ClapPlugin::OnTimer() {
    if (Window == nullptr) return;
    // The host's changes (automation, a state loaded) since the last tick.
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        const float value = Shared[control].load(std::memory_order_relaxed);
        if (std::memcmp(&value, &Shown[control], sizeof value) == 0) continue;
        Shown[control] = value;
        Window->Show(control, value);
    }
    Window->Idle();
}

void ClapPlugin::ChangedInWindow(std::uint32_t control, float value) {
    if (!HasControl(Identity.Channels, control)) return;
    Shown[control] = value;
    Shared[control].store(value, std::memory_order_relaxed);
    WindowChanges.fetch_or(1u << control, std::memory_order_release);
    // Inactive, no block will take it: the controls follow here, on the main thread, and the
    // change stays marked for the host's flush to record.
    if (Instance == nullptr) Ports[control] = value;
    if (HostParams != nullptr && HostParams->request_flush != nullptr) {
        HostParams->request_flush(Host);
    }
}

const clap_plugin_gui ClapPlugin::kGui = {
    [](const clap_plugin*, const char* api, bool floating) { return IsEmbedded(api, floating); },
    [](const clap_plugin*, const char** api, bool* floating) {
        if (api == nullptr || floating == nullptr) return false;
        *api = kWindowApi;
        *floating = false;
        return true;
    },
    [](const clap_plugin* p, const char* api, bool floating) {
        return Guarded(false, [&] { return Of(p).CreateWindow(api, floating); });
    },
    [](const clap_plugin* p) { Of(p).DestroyWindow(); },
    [](const clap_plugin*, double) { return false; },  // the layer sizes by the display's dpi
    [](const clap_plugin* p, std::uint32_t* width, std::uint32_t* height) {
        if (Of(p).Window == nullptr || width == nullptr || height == nullptr) return false;
        Of(p).Window->Size(*width, *height);
        return true;
    },
    [](const clap_plugin*) { return false; },
    [](const clap_plugin*, clap_gui_resize_hints*) { return false; },
    [](const clap_plugin*, std::uint32_t*, std::uint32_t*) { return false; },
    [](const clap_plugin* p, std::uint32_t width, std::uint32_t height) {
        std::uint32_t w = 0, h = 0;
        if (Of(p).Window != nullptr) Of(p).Window->Size(w, h);
        return width == w && height == h;
    },
    [](const clap_plugin* p, const clap_window* parent) {
        return parent != nullptr && Guarded(false, [&] { return Of(p).EmbedWindow(*parent); });
    },
    [](const clap_plugin*, const clap_window*) { return false; },
    [](const clap_plugin*, const char*) {},
    [](const clap_plugin* p) { return Of(p).Window != nullptr; },
    [](const clap_plugin* p) { return Of(p).Window != nullptr; }};

const clap_plugin_timer_support ClapPlugin::kTimerSupport = {
    [](const clap_plugin* p, clap_id) { Guarded(0, [&] { return Of(p).OnTimer(), 0; }); }};

}  // namespace flanger::plugins
