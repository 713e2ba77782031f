// Sent messages: SendMessageA calls the window's procedure on the calling thread, which must
// own the window (the layer does not marshal sends between threads). DispatchMessageA does the
// same for a retrieved message, after offering it to the display backend; CallWindowProcA calls a
// procedure a subclass saved.
//
// The window object is kept alive for the length of the call, so a procedure may destroy its
// own window; the handle stops being valid, the procedure's frame stays sound.
#include <mutex>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/window_backend.h"
#include "windowing/posix/user32/window_table.h"

using namespace flanger::platform::user32;

extern "C" {

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Window> target;
    WNDPROC procedure = nullptr;
    if (!RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            target = Windows().Share(window);
            if (target == nullptr) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            } else if (target->thread != std::this_thread::get_id()) {
                SetLastError(ERROR_ACCESS_DENIED);
            } else {
                procedure = target->procedure;
            }
        }) ||
        procedure == nullptr) {
        return 0;
    }
    return procedure(window, message, wParam, lParam);
}

LRESULT DispatchMessageA(const MSG* message) {
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (message->hwnd == nullptr) {
        return 0;  // a thread message has no procedure
    }
    if (Backend().Dispatch(*message)) {
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    if (procedure == nullptr) {
        return 0;
    }
    return procedure(window, message, wParam, lParam);
}

}  // extern "C"
