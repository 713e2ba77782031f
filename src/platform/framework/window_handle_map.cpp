// The per-thread handle maps. Windows belong to the thread that created them, and so do the
// objects attached to them, so the maps need no lock.
#include "platform/framework/window_handle_map.h"

#include <memory>
#include <unordered_map>

#include "platform/framework/wnd.h"

namespace flanger::framework {
namespace {

struct HandleMaps {
    std::unordered_map<HWND, CWnd*> permanent;
    std::unordered_map<HWND, std::unique_ptr<CWnd>> temporary;
};

HandleMaps& ThreadMaps() {
    thread_local HandleMaps maps;
    return maps;
}

}  // namespace

CWnd* LookupPermanentObject(HWND window) noexcept {
    const auto& permanent = ThreadMaps().permanent;
    const auto found = permanent.find(window);
    return found != permanent.end() ? found->second : nullptr;
}

bool AddPermanentObject(HWND window, CWnd* object) {
    return ThreadMaps().permanent.emplace(window, object).second;
}

void RemovePermanentObject(HWND window) noexcept { ThreadMaps().permanent.erase(window); }

CWnd* TemporaryObjectFor(HWND window) {
    std::unique_ptr<CWnd>& object = ThreadMaps().temporary[window];
    if (object == nullptr) {
        object = std::make_unique<CWnd>();
        object->m_hWnd = window;
    }
    return object.get();
}

void ReleaseTemporaryObjects() noexcept {
    // A temporary object is never attached (m_hWnd only names the window), so deleting it
    // leaves the window and the permanent map alone; clear the handle first all the same.
    for (auto& [window, object] : ThreadMaps().temporary) object->m_hWnd = nullptr;
    ThreadMaps().temporary.clear();
}

}  // namespace flanger::framework
