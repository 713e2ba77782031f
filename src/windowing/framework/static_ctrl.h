// CStatic: the wrapper of a static text control. It adds no behaviour: the control looks and
// acts as before, and has a window object for as long as the wrapper holds it.
#pragma once

#include "windowing/framework/wnd.h"
#include "windowing/user32.h"

namespace flanger::framework {

class CStatic : public CWnd {
public:
    LPCSTR GetRequiredClassName() const noexcept override { return WC_STATICA; }
};

}  // namespace flanger::framework
