// ViewTimer on Linux: a timer of the host frame's run loop.
#include "plugins/vst3/vst3_view_timer.h"

namespace flanger::plugins::vst3 {

struct ViewTimer::Calls {
    static v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        const bool known = iid != nullptr && (v3_tuid_match(iid, v3_funknown_iid) ||
                                              v3_tuid_match(iid, v3_timer_handler_iid));
        *object = known ? self : nullptr;
        return known ? kOk : kNoInterface;
    }
    // The handler lives as long as the timer, which the view unregisters before it goes.
    static uint32_t V3_API Ref(void*) { return 1; }
    static uint32_t V3_API Unref(void*) { return 1; }
    static void V3_API OnTimer(void* self) { static_cast<Handler*>(self)->Timer->Fire(); }
    static const v3_timer_handler_cpp kTable;
};
const v3_timer_handler_cpp ViewTimer::Calls::kTable = {{QueryInterface, Ref, Unref}, {OnTimer}};

bool ViewTimer::Start(v3_plugin_frame** frame) {
    if (Loop != nullptr) return true;
    if (frame == nullptr) return false;
    v3_run_loop** loop = nullptr;
    if (v3_cpp_obj_query_interface(frame, v3_run_loop_iid, &loop) != kOk || loop == nullptr) {
        return false;
    }
    Loop = loop;
    Self = {&Calls::kTable, this};
    if (v3_cpp_obj(Loop)->register_timer(Loop, reinterpret_cast<v3_timer_handler**>(&Self),
                                         kViewTimerMs) != kOk) {
        v3_cpp_obj_unref(Loop);
        Loop = nullptr;
        return false;
    }
    return true;
}

void ViewTimer::Stop() {
    if (Loop == nullptr) return;
    v3_cpp_obj(Loop)->unregister_timer(Loop, reinterpret_cast<v3_timer_handler**>(&Self));
    v3_cpp_obj_unref(Loop);
    Loop = nullptr;
}

}  // namespace flanger::plugins::vst3
