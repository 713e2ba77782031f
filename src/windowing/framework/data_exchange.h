// Dialog data exchange: DoDataExchange lists which member goes with which control, and the DDX_
// functions move the values in the direction of the exchange (members into the controls, or
// the controls' state back into the members).
//
// Nothing is validated. An exchange fails only when the template does not fit the code: a
// control that is not there, or one of the wrong kind bound to a wrapper; the failure is raised
// as DataExchangeError, which ends the creation of a dialog (see CDialog::CreateIndirect).
#pragma once

#include <stdexcept>

#include "windowing/framework/afx_string.h"
#include "windowing/framework/wnd.h"
#include "windowing/user32.h"

namespace flanger::framework {

class DataExchangeError : public std::runtime_error {
public:
    DataExchangeError(int controlId, const char* problem);
    int ControlId() const noexcept { return m_controlId; }

private:
    int m_controlId;
};

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) noexcept
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

    BOOL m_bSaveAndValidate;  // TRUE: controls into members; FALSE: members into controls
    CWnd* m_pDlgWnd;

    // The dialog's control with that id; raises DataExchangeError when there is none.
    HWND PrepareCtrl(int controlId) const;
};

// Attaches `control` (subclassing it) to the dialog's control `controlId` on the first
// exchange; later exchanges find it bound. The control's window class must be the one the
// wrapper requires (CWnd::GetRequiredClassName).
void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control);

// A trackbar's position.
void DDX_Slider(CDataExchange* exchange, int controlId, int& position);

// A window's text.
void DDX_Text(CDataExchange* exchange, int controlId, CString& text);

// A button's check state. Loading hands the value to the button unchanged (the button decides
// how to show a value other than 0 and 1); saving reads the state the button reports.
void DDX_Check(CDataExchange* exchange, int controlId, int& state);

}  // namespace flanger::framework
