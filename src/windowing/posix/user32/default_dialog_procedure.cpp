// DefDlgProcA, the window procedure of the dialog class: it hands each message to the dialog
// procedure (DWLP_DLGPROC) and does the default handling when that returns FALSE. Follows
// USER32 (Wine's defdlg.c): DWLP_MSGRESULT is cleared before the call and is the result of a
// handled message, except WM_INITDIALOG, whose result is the dialog procedure's own; hiding the
// dialog saves the focus and WM_SETFOCUS gives it back (or to the first tab stop); WM_CLOSE
// posts IDCANCEL; WM_GETFONT answers the template's font.
#include <cstring>

#include "windowing/posix/user32/dialog_info.h"

namespace flanger::platform::user32 {
namespace {

void SaveFocus(HWND dialog) {
    const HWND focus = GetFocus();
    if (focus == nullptr) {
        return;
    }
    // Only a control inside the dialog is remembered.
    for (HWND current = GetParent(focus); current != nullptr; current = GetParent(current)) {
        if (current == dialog) {
            WithDialogInfo(dialog, [&](Window&, DialogInfo& info) { info.savedFocus = focus; });
            return;
        }
    }
}

void RestoreFocus(HWND dialog) {
    HWND saved = nullptr;
    WithDialogInfo(dialog, [&](Window&, DialogInfo& info) {
        saved = info.savedFocus;
        info.savedFocus = nullptr;
    });
    if (saved == nullptr || saved == dialog || !IsWindow(saved)) {
        saved = FirstFocusableControl(dialog);
    }
    if (saved != nullptr) {
        SetFocus(saved);
    }
}

bool AccessLong(HWND dialog, int offset, LONG_PTR* read, const LONG_PTR* write) noexcept {
    bool done = false;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        Window* window = Windows().Find(dialog);
        if (window == nullptr || offset < 0 ||
            window->extraBytes.size() < static_cast<std::size_t>(offset) + sizeof(LONG_PTR)) {
            return;
        }
        unsigned char* bytes = window->extraBytes.data() + offset;
        if (read != nullptr) {
            std::memcpy(read, bytes, sizeof *read);
        } else {
            std::memcpy(bytes, write, sizeof *write);
        }
        done = true;
    });
    return done;
}

}  // namespace

bool ReadDialogLong(HWND dialog, int offset, LONG_PTR& value) noexcept {
    return AccessLong(dialog, offset, &value, nullptr);
}

bool WriteDialogLong(HWND dialog, int offset, LONG_PTR value) noexcept {
    return AccessLong(dialog, offset, nullptr, &value);
}

HWND FirstFocusableControl(HWND dialog) noexcept {
    HWND found = nullptr;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        const Window* window = Windows().Find(dialog);
        if (window == nullptr) {
            return;
        }
        HWND firstUsable = nullptr;
        for (HWND child : window->children) {
            const Window* control = Windows().Find(child);
            if (control == nullptr || (control->style & (WS_VISIBLE | WS_DISABLED)) != WS_VISIBLE) {
                continue;
            }
            if ((control->style & WS_TABSTOP) != 0) {
                found = child;
                return;
            }
            if (firstUsable == nullptr) {
                firstUsable = child;
            }
        }
        found = firstUsable;
    });
    return found;
}

}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HFONT font = nullptr;
    if (!WithDialogInfo(dialog, [&](Window&, DialogInfo& info) { font = info.font; })) {
        return 0;
    }
    WriteDialogLong(dialog, DWLP_MSGRESULT, 0);
    LONG_PTR procedure = 0;
    ReadDialogLong(dialog, DWLP_DLGPROC, procedure);
    INT_PTR result = 0;
    if (procedure != 0) {
        result = reinterpret_cast<DLGPROC>(procedure)(dialog, message, wParam, lParam);
    }
    if (result == 0 && IsWindow(dialog)) {
        switch (message) {
            case WM_SHOWWINDOW:
                if (wParam == FALSE) {
                    SaveFocus(dialog);
                }
                return DefWindowProcA(dialog, message, wParam, lParam);
            case WM_SETFOCUS:
                RestoreFocus(dialog);
                return 0;
            case WM_GETFONT:
                return reinterpret_cast<LRESULT>(font);
            case WM_CLOSE:
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
                return 0;
            case WM_INITDIALOG:
                break;
            default:
                return DefWindowProcA(dialog, message, wParam, lParam);
        }
    }
    if (message == WM_INITDIALOG) {
        return result;
    }
    LONG_PTR messageResult = 0;
    ReadDialogLong(dialog, DWLP_MSGRESULT, messageResult);
    return messageResult;
}
