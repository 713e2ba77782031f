// CDialog: creation from a template and the first exchange with the controls.
#include "windowing/framework/dialog.h"

#include "windowing/framework/message_map.h"
#include "windowing/framework/module_state.h"
#include "windowing/framework/window_procedures.h"

namespace flanger::framework {

CDialog::CDialog(UINT templateId, CWnd* parent) noexcept
    : m_templateId(templateId), m_parentWindow(parent != nullptr ? parent->m_hWnd : nullptr) {}

BOOL CDialog::CreateIndirect(LPCDLGTEMPLATEA dialogTemplate, CWnd* parent) {
    if (dialogTemplate == nullptr || m_hWnd != nullptr) return FALSE;
    HWND const parentWindow = parent != nullptr ? parent->m_hWnd : m_parentWindow;
    m_initDialogFailed = false;
#ifdef _WIN32
    // COMCTL32 registers the common control classes of a template (the trackbar) only when asked,
    // and only once it is loaded, which this call also ensures. Asking again costs nothing.
    INITCOMMONCONTROLSEX commonControls = {sizeof commonControls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&commonControls);
#endif
    // The object travels as WM_INITDIALOG's parameter: that is where it meets its window.
    HWND const window =
        CreateDialogIndirectParamA(AfxGetInstanceHandle(), dialogTemplate, parentWindow,
                                   &FrameworkDialogProc, reinterpret_cast<LPARAM>(this));
    if (window == nullptr) return FALSE;
    if (m_initDialogFailed || m_hWnd != window) {
        // The object was never handed to its window: take it off before the window goes.
        if (m_hWnd == window) UnsubclassWindow();
        ::DestroyWindow(window);
        return FALSE;
    }
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

const MessageMap* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

const MessageMap* CDialog::GetThisMessageMap() {
    static constexpr MessageMap kMap = {&CWnd::GetThisMessageMap, nullptr, 0};
    return &kMap;
}

INT_PTR CDialog::HandleInitDialog(HWND dialog) noexcept {
    try {
        if (!SubclassWindow(dialog)) {
            m_initDialogFailed = true;
            return FALSE;
        }
        return OnInitDialog();
    } catch (...) {
        m_initDialogFailed = true;
        return FALSE;
    }
}

}  // namespace flanger::framework
