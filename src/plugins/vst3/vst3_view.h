// Vst3View: the editor of a Vst3Plugin, the plug-ins' own window (plugin_window.h) in the host's
// X11 window (Linux, "X11EmbedWindowID") or HWND (Windows, "HWND"). It has the fixed size of the
// window. While attached, a timer (vst3_view_timer.h) shows the values the processor last took
// and runs the window's message loop; a change a person makes there goes to the plug-in
// (Vst3Plugin::ChangeFromEditor). Every call is [main-thread].
#pragma once

#include <travesty/view.h>

#include <atomic>
#include <memory>

#include "plugins/plugin_window.h"
#include "plugins/vst3/vst3_results.h"
#include "plugins/vst3/vst3_view_timer.h"

namespace flanger::plugins::vst3 {

class Vst3Plugin;

class Vst3View {
public:
    // A view with one reference, which holds one of `plugin` until it goes.
    static v3_plugin_view** Create(Vst3Plugin& plugin);

private:
    explicit Vst3View(Vst3Plugin& plugin);
    ~Vst3View();

    // The view as the host holds it: a pointer to this record.
    struct Face {
        const v3_plugin_view_cpp* Calls;
        Vst3View* View;
    };
    struct Calls;
    static Vst3View& Of(void* self) { return *static_cast<Face*>(self)->View; }

    v3_result Attach(void* parent, const char* platform);
    v3_result Remove();
    void Size(v3_view_rect& rect) const;
    // The processor's values the window does not show yet, and the window's message loop.
    static void Tick(void* self);

    Face Self;
    std::atomic<std::uint32_t> References{1};
    Vst3Plugin& Plugin;
    v3_plugin_frame** Frame = nullptr;
    std::unique_ptr<PluginWindow> Window;
    ViewTimer Timer;
    ControlValues Shown{};  // what the window shows
};

}  // namespace flanger::plugins::vst3
