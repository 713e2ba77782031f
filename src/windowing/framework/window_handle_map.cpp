// The per-thread handle maps. Windows belong to the thread that created them, and so do the
// objects attached to them, so the maps need no lock.
//
// A thread's maps live on the heap from its first entry until they are empty again, behind a
// plain thread_local pointer: a thread_local object with a destructor would make the Windows
// runtime pin the DLL until the thread ends, and a host that unloads the module and loads it
// again would get the old one back.
#include "windowing/framework/window_handle_map.h"

#include <memory>
#include <unordered_map>
#include <utility>

#include "windowing/framework/wnd.h"

namespace flanger::framework {
namespace {

struct HandleMaps {
    std::unordered_map<HWND, CWnd*> permanent;
    std::unordered_map<HWND, std::unique_ptr<CWnd>> temporary;
};

thread_local HandleMaps* t_maps = nullptr;

HandleMaps& ThreadMaps() {
    if (t_maps == nullptr) t_maps = new HandleMaps;
    return *t_maps;
}

void ReleaseEmptyMaps() noexcept {
    if (t_maps != nullptr && t_maps->permanent.empty() && t_maps->temporary.empty()) {
        delete std::exchange(t_maps, nullptr);
    }
}

}  // namespace

CWnd* LookupPermanentObject(HWND window) noexcept {
    if (t_maps == nullptr) return nullptr;
    const auto& permanent = t_maps->permanent;
    const auto found = permanent.find(window);
    return found != permanent.end() ? found->second : nullptr;
}

bool AddPermanentObject(HWND window, CWnd* object) {
    return ThreadMaps().permanent.emplace(window, object).second;
}

void RemovePermanentObject(HWND window) noexcept {
    if (t_maps == nullptr) return;
    t_maps->permanent.erase(window);
    ReleaseEmptyMaps();
}

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
    if (t_maps == nullptr) return;
    for (auto& [window, object] : t_maps->temporary) object->m_hWnd = nullptr;
    t_maps->temporary.clear();
    ReleaseEmptyMaps();
}

}  // namespace flanger::framework
