// ViewTimer: what runs the editor's window while it is attached, on the main thread every
// kViewTimerMs. On Linux it is the host's run loop (the frame's IRunLoop), the one way a VST3
// host lets a plug-in run there; on Windows a window timer, which the host's message loop runs.
#pragma once

#include <travesty/view.h>

#include <cstdint>

#include "plugins/vst3/vst3_results.h"

namespace flanger::plugins::vst3 {

inline constexpr std::uint32_t kViewTimerMs = 30;

class ViewTimer {
public:
    using Tick = void (*)(void* context);
    ViewTimer(Tick tick, void* context) : Callback(tick), Context(context) {}
    ~ViewTimer() { Stop(); }
    ViewTimer(const ViewTimer&) = delete;
    ViewTimer& operator=(const ViewTimer&) = delete;

    // Starts calling Tick(context); false where the host's `frame` offers no run loop (Linux).
    bool Start(v3_plugin_frame** frame);
    void Stop();

private:
    void Fire() { Callback(Context); }

    Tick Callback;
    void* Context;
#ifdef _WIN32
    struct Calls;
    std::uintptr_t Id = 0;
#else
    // The handler the host's run loop calls: a pointer to this record.
    struct Handler {
        const v3_timer_handler_cpp* Calls;
        ViewTimer* Timer;
    };
    struct Calls;
    Handler Self{};
    v3_run_loop** Loop = nullptr;
#endif
};

}  // namespace flanger::plugins::vst3
