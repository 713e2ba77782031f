// ViewTimer on Windows: a thread timer whose callback the host's message loop runs, as the
// editor's own windows are run there.
#include <windows.h>

#include <map>

#include "plugins/vst3/vst3_view_timer.h"

namespace flanger::plugins::vst3 {

struct ViewTimer::Calls {
    // The timers running, by id: a thread timer's callback is told nothing else.
    static std::map<UINT_PTR, ViewTimer*>& Running() {
        static std::map<UINT_PTR, ViewTimer*> running;
        return running;
    }
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
        const auto found = Running().find(id);
        if (found != Running().end()) found->second->Fire();
    }
};

bool ViewTimer::Start(v3_plugin_frame**) {
    if (Id != 0) return true;
    Id = SetTimer(nullptr, 0, kViewTimerMs, Calls::OnTimer);
    if (Id == 0) return false;
    try {
        Calls::Running()[Id] = this;
    } catch (...) {
        KillTimer(nullptr, Id);
        Id = 0;
        return false;
    }
    return true;
}

void ViewTimer::Stop() {
    if (Id == 0) return;
    KillTimer(nullptr, Id);
    Calls::Running().erase(Id);
    Id = 0;
}

}  // namespace flanger::plugins::vst3
