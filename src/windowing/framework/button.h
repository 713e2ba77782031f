// CButton: the wrapper of a button control (here: check boxes).
#pragma once

#include "windowing/framework/wnd.h"
#include "windowing/user32.h"

namespace flanger::framework {

class CButton : public CWnd {
public:
    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
    int GetCheck() const;
    void SetCheck(int check);

    LPCSTR GetRequiredClassName() const noexcept override;
};

}  // namespace flanger::framework
