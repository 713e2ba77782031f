// CSliderCtrl over the trackbar messages.
#include "windowing/framework/slider_ctrl.h"

namespace flanger::framework {

void CSliderCtrl::SetRange(int minimum, int maximum, BOOL redraw) {
    SendMessageA(m_hWnd, TBM_SETRANGE, static_cast<WPARAM>(redraw), MAKELPARAM(minimum, maximum));
}

int CSliderCtrl::GetRangeMin() const {
    return static_cast<int>(SendMessageA(m_hWnd, TBM_GETRANGEMIN, 0, 0));
}

int CSliderCtrl::GetRangeMax() const {
    return static_cast<int>(SendMessageA(m_hWnd, TBM_GETRANGEMAX, 0, 0));
}

void CSliderCtrl::SetPos(int position) { SendMessageA(m_hWnd, TBM_SETPOS, TRUE, position); }

int CSliderCtrl::GetPos() const { return static_cast<int>(SendMessageA(m_hWnd, TBM_GETPOS, 0, 0)); }

LPCSTR CSliderCtrl::GetRequiredClassName() const noexcept { return TRACKBAR_CLASSA; }

}  // namespace flanger::framework
