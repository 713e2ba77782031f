// SettingsDialog: the settings window over one EffectSettings record of the host.
//
// Five vertical sliders (Delay, Width, Speed, Depth, Feedback), each with a value label, and two
// check boxes (Sine; Feedback on or off). The dialog keeps no copy of the parameters beyond its
// controls' state: every committed change (a released thumb, the end of a keyboard or click
// move, a check box click) writes all six parameters into the host's record and posts
// WM_COMMAND (wParam 0x04000000, lParam the dialog's window) to the parent window.
//
// A vertical trackbar has its minimum at the top, so every slider shows a constant minus its
// position: position = 110 - value (210 - value for Speed), and moving the thumb up raises the
// value. Labels show the value in the parameter's display unit: Delay and Width in milliseconds
// (tenths x 0.1), Speed in hertz and Depth and Feedback as gains (hundredths x 0.01), formatted
// with "%g"; the Feedback label shows the magnitude, the check box its sign.
//
// Lifecycle: constructed on the heap, AttachSettings, then the window is created from the
// template (see settings_window.h). From then on the object belongs to its window and is
// deleted after the window's last message. The record must outlive the window.
//
// Threading: the thread that owns the parent window.
#pragma once

#include "flanger_plugin.h"
#include "windowing/framework/afx_string.h"
#include "windowing/framework/button.h"
#include "windowing/framework/data_exchange.h"
#include "windowing/framework/dialog.h"
#include "windowing/framework/slider_ctrl.h"
#include "windowing/framework/static_ctrl.h"
#include "windowing/user32.h"

namespace flanger::ui {

class SettingsDialog : public framework::CDialog {
public:
    // The static controls that get a wrapper; further ones in a replacement template are left
    // as they are.
    static constexpr int kStaticWrapperCount = 10;
    // WM_COMMAND's wParam in the notification: control id 0, notification code 0x0400.
    static constexpr WPARAM kSettingsChangedWParam = 0x04000000;

    explicit SettingsDialog(framework::CWnd* parent) noexcept;
    ~SettingsDialog() override;

    const framework::MessageMap* GetMessageMap() const override;

    // Takes the host's record (not owned) and loads the members from it. Once, before the
    // window exists.
    void AttachSettings(EffectSettings* settings);

    // false: loads the members from the record (no clamping: the sliders clamp what lies
    // outside their ranges when the positions reach them). true: stores all six parameters from
    // the members, then notifies the host.
    void ExchangeSettings(bool store);

    // Sets the five label texts from the five positions.
    void UpdateLabels();

    // Posts the settings-changed notification to the parent window.
    void NotifyHost();

    // Attaches the window's static controls, in window order, to the wrappers.
    void WrapStaticControls();

protected:
    void DoDataExchange(framework::CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    // The window has had its last message: the object ends with it.
    void PostNcDestroy() override;

    void OnHScroll(UINT code, UINT position, framework::CWnd* scrollBar);
    void OnDestroy();
    void OnVScroll(UINT code, UINT position, framework::CWnd* scrollBar);
    void OnCheckClicked();

private:
    EffectSettings* m_settings = nullptr;
    framework::CStatic m_staticWrappers[kStaticWrapperCount];
    framework::CButton m_sineCheck;
    framework::CButton m_feedbackCheck;
    framework::CSliderCtrl m_feedbackSlider;
    framework::CSliderCtrl m_depthSlider;
    framework::CSliderCtrl m_speedSlider;
    framework::CSliderCtrl m_delaySlider;
    framework::CSliderCtrl m_widthSlider;
    int m_widthPos = 0;
    framework::CString m_widthText;
    int m_delayPos = 0;
    framework::CString m_delayText;
    int m_speedPos = 0;
    framework::CString m_speedText;
    int m_depthPos = 0;
    int m_feedbackPos = 0;
    framework::CString m_feedbackText;
    framework::CString m_depthText;
    int m_feedbackPositive = 0;  // nonzero: Feedback is stored positive
    int m_sine = 0;
};

}  // namespace flanger::ui
