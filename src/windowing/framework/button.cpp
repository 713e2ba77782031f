// CButton over the button messages.
#include "windowing/framework/button.h"

namespace flanger::framework {

int CButton::GetCheck() const { return static_cast<int>(SendMessageA(m_hWnd, BM_GETCHECK, 0, 0)); }

void CButton::SetCheck(int check) {
    SendMessageA(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0);
}

LPCSTR CButton::GetRequiredClassName() const noexcept { return WC_BUTTONA; }

}  // namespace flanger::framework
