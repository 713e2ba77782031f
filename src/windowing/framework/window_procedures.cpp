// The window procedures through which every message of the module's windows passes.
#include "windowing/framework/window_procedures.h"

#include "windowing/framework/dialog.h"
#include "windowing/framework/module_state.h"
#include "windowing/framework/window_handle_map.h"
#include "windowing/framework/wnd.h"

namespace flanger::framework {
namespace {

thread_local const MSG* t_currentMessage = nullptr;

// Makes a message the thread's current one for the length of its handling; messages sent while
// it is handled nest.
class CurrentMessageScope {
public:
    CurrentMessageScope(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
        : m_message{window, message, wParam, lParam, 0, {0, 0}}, m_previous(t_currentMessage) {
        t_currentMessage = &m_message;
    }
    ~CurrentMessageScope() { t_currentMessage = m_previous; }
    CurrentMessageScope(const CurrentMessageScope&) = delete;
    CurrentMessageScope& operator=(const CurrentMessageScope&) = delete;

private:
    MSG m_message;
    const MSG* m_previous;
};

}  // namespace

const MSG* CurrentFrameworkMessage() noexcept { return t_currentMessage; }

LRESULT CALLBACK FrameworkWindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept {
    ModuleStateScope moduleState(AfxGetStaticModuleState());
    CurrentMessageScope current(window, message, wParam, lParam);
    CWnd* const object = LookupPermanentObject(window);
    if (object == nullptr) {
        // Only a window whose object let go of it without giving back its procedure ends up
        // here; it gets the plain default handling.
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) return object->HandleNcDestroy(wParam, lParam);
    try {
        return object->WindowProc(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the windowing layer; the message counts as handled.
        return 0;
    }
}

INT_PTR CALLBACK FrameworkDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept {
    ModuleStateScope moduleState(AfxGetStaticModuleState());
    if (message != WM_INITDIALOG || lParam == 0) return FALSE;
    CurrentMessageScope current(dialog, message, wParam, lParam);
    return reinterpret_cast<CDialog*>(lParam)->HandleInitDialog(dialog);
}

}  // namespace flanger::framework
