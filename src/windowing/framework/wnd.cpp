// CWnd: attaching objects to windows, subclassing, and the default message handling.
#include "windowing/framework/wnd.h"

#include "windowing/framework/data_exchange.h"
#include "windowing/framework/message_map.h"
#include "windowing/framework/window_handle_map.h"
#include "windowing/framework/window_procedures.h"

namespace flanger::framework {
namespace {

LONG_PTR FrameworkProcedureValue() { return reinterpret_cast<LONG_PTR>(&FrameworkWindowProc); }

}  // namespace

CWnd::~CWnd() {
    if (m_hWnd != nullptr && LookupPermanentObject(m_hWnd) == this) UnsubclassWindow();
}

CWnd* CWnd::FromHandle(HWND window) {
    if (window == nullptr) return nullptr;
    if (CWnd* permanent = LookupPermanentObject(window)) return permanent;
    return TemporaryObjectFor(window);
}

CWnd* CWnd::FromHandlePermanent(HWND window) noexcept {
    return window != nullptr ? LookupPermanentObject(window) : nullptr;
}

BOOL CWnd::Attach(HWND window) {
    if (window == nullptr || m_hWnd != nullptr) return FALSE;
    if (!AddPermanentObject(window, this)) return FALSE;
    m_hWnd = window;
    return TRUE;
}

HWND CWnd::Detach() noexcept {
    HWND const window = m_hWnd;
    if (window != nullptr && LookupPermanentObject(window) == this) RemovePermanentObject(window);
    m_hWnd = nullptr;
    return window;
}

BOOL CWnd::SubclassWindow(HWND window) {
    if (!Attach(window)) return FALSE;
    const LONG_PTR original = GetWindowLongPtrA(window, GWLP_WNDPROC);
    if (original == 0 || original == FrameworkProcedureValue()) {
        // No procedure to fall back on (not a window), or one of this module's already.
        Detach();
        return FALSE;
    }
    SetWindowLongPtrA(window, GWLP_WNDPROC, FrameworkProcedureValue());
    m_superProc = reinterpret_cast<WNDPROC>(original);
    return TRUE;
}

HWND CWnd::UnsubclassWindow() noexcept {
    if (m_hWnd != nullptr && m_superProc != nullptr &&
        GetWindowLongPtrA(m_hWnd, GWLP_WNDPROC) == FrameworkProcedureValue()) {
        SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    }
    m_superProc = nullptr;
    return Detach();
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

LPCSTR CWnd::GetRequiredClassName() const noexcept { return nullptr; }

const MessageMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

const MessageMap* CWnd::GetThisMessageMap() {
    static constexpr MessageMap kMap = {nullptr, nullptr, 0};
    return &kMap;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const MessageMapEntry* entry = FindMessageMapEntry(GetMessageMap(), message, wParam)) {
        return entry->invoke(*this, wParam, lParam);
    }
    return DefWindowProc(message, wParam, lParam);
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::PostNcDestroy() {}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_superProc != nullptr) {
        return CallWindowProcA(m_superProc, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    const MSG* const message = CurrentFrameworkMessage();
    if (message == nullptr || message->hwnd != m_hWnd) return 0;
    return DefWindowProc(message->message, message->wParam, message->lParam);
}

void CWnd::OnDestroy() { Default(); }

void CWnd::OnVScroll(UINT, UINT, CWnd*) { Default(); }

void CWnd::OnHScroll(UINT, UINT, CWnd*) { Default(); }

LRESULT CWnd::HandleNcDestroy(WPARAM wParam, LPARAM lParam) noexcept {
    LRESULT result = 0;
    try {
        result = WindowProc(WM_NCDESTROY, wParam, lParam);
    } catch (...) {
        // The object is released all the same below.
    }
    UnsubclassWindow();
    try {
        PostNcDestroy();
    } catch (...) {
    }
    return result;
}

}  // namespace flanger::framework
