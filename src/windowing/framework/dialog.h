// CDialog: a modeless dialog window made from a dialog template, whose controls are exchanged
// with the dialog's members through DoDataExchange.
#pragma once

#include "windowing/framework/wnd.h"
#include "windowing/user32.h"

namespace flanger::framework {

class CDialog : public CWnd {
public:
    // For template `templateId`, with `parent` as the window the dialog will belong to (only its
    // handle is kept; null for none).
    CDialog(UINT templateId, CWnd* parent) noexcept;
    ~CDialog() override = default;

    // Creates the dialog window from a template in memory, a child or owned window of `parent`
    // (null: the parent given at construction); OnInitDialog runs inside. TRUE when the window
    // exists afterwards. FALSE when the layer cannot make the template into a window, or when
    // OnInitDialog fails (raises an exception): the window is then destroyed without the object
    // seeing its destroy messages, so PostNcDestroy is not called and the caller still owns the
    // object. The template is only read.
    BOOL CreateIndirect(LPCDLGTEMPLATEA dialogTemplate, CWnd* parent = nullptr);

    // WM_INITDIALOG. The default loads the members into the controls (UpdateData(FALSE)) and
    // returns TRUE (the default focus).
    virtual BOOL OnInitDialog();

    UINT GetTemplateId() const noexcept { return m_templateId; }

    const MessageMap* GetMessageMap() const override;
    static const MessageMap* GetThisMessageMap();

private:
    friend INT_PTR CALLBACK FrameworkDialogProc(HWND, UINT, WPARAM, LPARAM) noexcept;

    // Attaches the object to the new window, subclasses it and runs OnInitDialog; a failure is
    // recorded for CreateIndirect.
    INT_PTR HandleInitDialog(HWND dialog) noexcept;

    UINT m_templateId;
    HWND m_parentWindow;
    bool m_initDialogFailed = false;
};

}  // namespace flanger::framework
