// FlangerUnregisterResourceModule: the layer lets go of a module that is being unloaded.
//
// A module compiled against the layer leaves pointers into its own code and data behind: its
// registered resource function and the resources it returned, the procedures of its windows
// and dialogs, and the classes it registered. After dlclose each of them would lead into
// unmapped memory (or into whatever is mapped there next, such as the module loaded again), so
// the module hands its handle back from its static destructors, while it is still mapped, and
// the layer takes out everything that points into the shared object that holds the registered
// function. The object's extent is read before any of the layer's locks is taken (see
// loaded_object.h).
#include <cstring>
#include <mutex>
#include <vector>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/loaded_object.h"
#include "windowing/posix/user32/resource_modules.h"
#include "windowing/posix/user32/window_class.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

// Enough rounds for windows that a window's destruction creates; a module that keeps creating
// them in its destroy handlers has the rest rerouted instead.
constexpr int kMaxDestroyRounds = 16;

// The dialog procedure (DWLP_DLGPROC) of a window of a dialog class; null for others.
// LayerMutex() held.
DLGPROC DialogProcedureOf(const Window& window) {
    if (window.windowClass->procedure != &DefDlgProcA ||
        window.extraBytes.size() < DWLP_DLGPROC + sizeof(DLGPROC)) {
        return nullptr;
    }
    DLGPROC procedure = nullptr;
    std::memcpy(&procedure, window.extraBytes.data() + DWLP_DLGPROC, sizeof procedure);
    return procedure;
}

// Whether a message to the window could end up in the object. LayerMutex() held.
bool PointsInto(const Window& window, const LoadedObject& object) {
    return object.ContainsFunction(window.procedure) ||
           object.ContainsFunction(window.windowClass->procedure) ||
           object.ContainsFunction(DialogProcedureOf(window));
}

// The calling thread's windows that point into the object, without those that go with an
// ancestor among them. LayerMutex() held.
std::vector<HWND> OwnWindowsInto(const LoadedObject& object) {
    std::vector<HWND> found;
    const auto pointsInto = [&](HWND handle) {
        const Window* window = Windows().Find(handle);
        return window != nullptr && PointsInto(*window, object);
    };
    Windows().ForEach([&](const Window& window) {
        if (window.thread != std::this_thread::get_id() || window.destroyStarted ||
            !PointsInto(window, object)) {
            return;
        }
        for (HWND above = window.parent; above != nullptr;) {
            if (pointsInto(above)) return;
            const Window* parent = Windows().Find(above);
            above = parent != nullptr ? parent->parent : nullptr;
        }
        found.push_back(window.handle);
    });
    return found;
}

// Destroys them while the module can still answer their last messages.
void DestroyOwnWindowsInto(const LoadedObject& object) {
    for (int round = 0; round < kMaxDestroyRounds; ++round) {
        std::vector<HWND> windows;
        RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            windows = OwnWindowsInto(object);
        });
        if (windows.empty()) return;
        for (HWND window : windows) DestroyWindow(window);
    }
}

// Windows of other threads cannot be destroyed from here: they keep living on their class's
// procedure (the default one when that is the module's too), without their dialog procedure.
// Classes the module registered (under its handle, or with its procedure) are unregistered.
// LayerMutex() held.
void RerouteAndUnregister(const LoadedObject& object, HINSTANCE module) {
    const auto taken = Classes().TakeOutWhere([&](const WindowClass& windowClass) {
        return windowClass.instance == module || object.ContainsFunction(windowClass.procedure);
    });
    Windows().ForEach([&](Window& window) {
        if (object.ContainsFunction(window.windowClass->procedure)) {
            auto replacement = std::make_shared<WindowClass>(*window.windowClass);
            replacement->procedure = &DefWindowProcA;
            window.windowClass = std::move(replacement);
        }
        if (object.ContainsFunction(window.procedure)) {
            window.procedure = window.windowClass->procedure;
        }
        if (object.ContainsFunction(DialogProcedureOf(window))) {
            std::memset(window.extraBytes.data() + DWLP_DLGPROC, 0, sizeof(DLGPROC));
        }
    });
}

}  // namespace
}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

BOOL FlangerUnregisterResourceModule(HMODULE module) {
    const FlangerFindResourceFunction find = RegisteredResourceFunction(module);
    if (find == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    LoadedObject object;
    if (!RunGuarded([&] {
            object = LoadedObject::Holding(
                reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(find)));
        })) {
        return FALSE;
    }
    DestroyOwnWindowsInto(object);
    if (!RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            RerouteAndUnregister(object, module);
        })) {
        return FALSE;
    }
    ForgetRegisteredModule(module, object);
    if (object.Contains(FlangerGetModuleContext())) FlangerSetModuleContext(nullptr);
    return TRUE;
}

}  // extern "C"
