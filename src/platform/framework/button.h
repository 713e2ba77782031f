// CButton: the wrapper of a button control (here: check boxes).
#pragma once

#include "platform/framework/wnd.h"
#include "platform/user32.h"

namespace flanger::framework {

class CButton : public CWnd {
public:
    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
    int GetCheck() const;
    void SetCheck(int check);

    LPCSTR GetRequiredClassName() const noexcept override;
};

}  // namespace flanger::framework
