// CSliderCtrl: the wrapper of a trackbar control.
#pragma once

#include "windowing/framework/wnd.h"
#include "windowing/user32.h"

namespace flanger::framework {

class CSliderCtrl : public CWnd {
public:
    // The range's ends; the trackbar moves its position into the new range.
    void SetRange(int minimum, int maximum, BOOL redraw = FALSE);
    int GetRangeMin() const;
    int GetRangeMax() const;
    // The trackbar clamps the position into its range.
    void SetPos(int position);
    int GetPos() const;

    LPCSTR GetRequiredClassName() const noexcept override;
};

}  // namespace flanger::framework
