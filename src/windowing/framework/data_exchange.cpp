// The exchange functions, written with window messages only.
#include "windowing/framework/data_exchange.h"

#include <string>
#include <vector>

#include "windowing/framework/text_compare.h"

namespace flanger::framework {
namespace {

bool HasClass(HWND window, const char* className) {
    char actual[256] = {};
    if (GetClassNameA(window, actual, static_cast<int>(sizeof actual)) <= 0) return false;
    return BytesEqualIgnoringCase(actual, className, sizeof actual);
}

}  // namespace

DataExchangeError::DataExchangeError(int controlId, const char* problem)
    : std::runtime_error("control " + std::to_string(controlId) + ": " + problem),
      m_controlId(controlId) {}

HWND CDataExchange::PrepareCtrl(int controlId) const {
    HWND const control =
        m_pDlgWnd != nullptr ? ::GetDlgItem(m_pDlgWnd->m_hWnd, controlId) : nullptr;
    if (control == nullptr) throw DataExchangeError(controlId, "not in the dialog");
    return control;
}

void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control) {
    if (control.m_hWnd != nullptr) return;
    HWND const window = exchange->PrepareCtrl(controlId);
    const char* const required = control.GetRequiredClassName();
    if (required != nullptr && !HasClass(window, required)) {
        throw DataExchangeError(controlId, "of another kind than its wrapper");
    }
    if (!control.SubclassWindow(window)) {
        throw DataExchangeError(controlId, "already has a window object");
    }
}

void DDX_Slider(CDataExchange* exchange, int controlId, int& position) {
    HWND const control = exchange->PrepareCtrl(controlId);
    if (exchange->m_bSaveAndValidate) {
        position = static_cast<int>(SendMessageA(control, TBM_GETPOS, 0, 0));
    } else {
        SendMessageA(control, TBM_SETPOS, TRUE, position);
    }
}

void DDX_Text(CDataExchange* exchange, int controlId, CString& text) {
    HWND const control = exchange->PrepareCtrl(controlId);
    if (exchange->m_bSaveAndValidate) {
        const int length = GetWindowTextLengthA(control);
        std::vector<char> buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
        GetWindowTextA(control, buffer.data(), static_cast<int>(buffer.size()));
        text = CString(buffer.data());
    } else {
        SetWindowTextA(control, text);
    }
}

void DDX_Check(CDataExchange* exchange, int controlId, int& state) {
    HWND const control = exchange->PrepareCtrl(controlId);
    if (exchange->m_bSaveAndValidate) {
        state = static_cast<int>(SendMessageA(control, BM_GETCHECK, 0, 0));
    } else {
        SendMessageA(control, BM_SETCHECK, static_cast<WPARAM>(state), 0);
    }
}

}  // namespace flanger::framework
