// The settings dialog: the exchange between the host's record, the members and the controls,
// and the moments at which the record is written.
#include "ui/settings_dialog.h"

#include <cstdint>
#include <iterator>

#include "ui/settings_dialog_ids.h"
#include "windowing/framework/message_map.h"
#include "windowing/framework/text_compare.h"

namespace flanger::ui {
namespace {

using framework::CDataExchange;
using framework::CWnd;
using framework::MessageMap;
using framework::MessageMapEntry;

// position = kTop - value, and value = kTop - position (kSpeedTop for Speed): the top of a
// slider (position 10) is 100, or 200 for Speed, and its bottom (100 or 200) is 10.
constexpr int kTop = 110;
constexpr int kSpeedTop = 210;

// a - b in 32-bit two's complement. The record may hold any value the host put there; a value
// far outside the sliders' ranges gives a far-off position rather than undefined behaviour.
int WrappingDifference(int a, int b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

int WrappingMagnitude(int value) { return value < 0 ? WrappingDifference(0, value) : value; }

}  // namespace

SettingsDialog::SettingsDialog(CWnd* parent) noexcept
    : CDialog(kSettingsDialogTemplateId, parent) {}

SettingsDialog::~SettingsDialog() = default;

const MessageMap* SettingsDialog::GetMessageMap() const {
    static constexpr MessageMapEntry kEntries[] = {
        framework::OnWmHScroll<&SettingsDialog::OnHScroll>(),
        framework::OnWmDestroy<&SettingsDialog::OnDestroy>(),
        framework::OnWmVScroll<&SettingsDialog::OnVScroll>(),
        framework::OnBnClicked<&SettingsDialog::OnCheckClicked>(kSineCheckId),
        framework::OnBnClicked<&SettingsDialog::OnCheckClicked>(kFeedbackCheckId),
    };
    static constexpr MessageMap kMap = {&CDialog::GetThisMessageMap, kEntries, std::size(kEntries)};
    return &kMap;
}

void SettingsDialog::AttachSettings(EffectSettings* settings) {
    m_settings = settings;
    ExchangeSettings(false);
}

void SettingsDialog::ExchangeSettings(bool store) {
    if (m_settings == nullptr) return;
    EffectSettings& record = *m_settings;
    if (!store) {
        m_delayPos = WrappingDifference(kTop, record.Delay);
        m_widthPos = WrappingDifference(kTop, record.Width);
        m_speedPos = WrappingDifference(kSpeedTop, record.Speed);
        m_depthPos = WrappingDifference(kTop, record.Depth);
        m_feedbackPos = WrappingDifference(kTop, WrappingMagnitude(record.Feedback));
        m_feedbackPositive = record.Feedback >= 0 ? 1 : 0;
        m_sine = record.Sine;
        return;
    }
    record.Delay = WrappingDifference(kTop, m_delayPos);
    record.Width = WrappingDifference(kTop, m_widthPos);
    record.Depth = WrappingDifference(kTop, m_depthPos);
    const int feedbackMagnitude = WrappingDifference(kTop, m_feedbackPos);
    record.Feedback =
        m_feedbackPositive != 0 ? feedbackMagnitude : WrappingDifference(0, feedbackMagnitude);
    record.Speed = WrappingDifference(kSpeedTop, m_speedPos);
    // A store writes a flag, whatever state the check box was handed when it was loaded.
    record.Sine = m_sine != 0 ? 1 : 0;
    NotifyHost();
}

void SettingsDialog::UpdateLabels() {
    m_delayText.Format("%g", static_cast<double>(WrappingDifference(kTop, m_delayPos)) * 0.1);
    m_widthText.Format("%g", static_cast<double>(WrappingDifference(kTop, m_widthPos)) * 0.1);
    m_speedText.Format("%g", static_cast<double>(WrappingDifference(kSpeedTop, m_speedPos)) * 0.01);
    m_depthText.Format("%g", static_cast<double>(WrappingDifference(kTop, m_depthPos)) * 0.01);
    m_feedbackText.Format("%g",
                          static_cast<double>(WrappingDifference(kTop, m_feedbackPos)) * 0.01);
}

void SettingsDialog::NotifyHost() {
    HWND const parent = ::GetParent(m_hWnd);
    // A parentless window would turn the post into a thread message; there is no one to tell.
    if (parent == nullptr) return;
    PostMessageA(parent, WM_COMMAND, kSettingsChangedWParam, reinterpret_cast<LPARAM>(m_hWnd));
}

void SettingsDialog::WrapStaticControls() {
    int nextWrapper = 0;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD);
         child != nullptr && nextWrapper < kStaticWrapperCount;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        char className[256] = {};
        GetClassNameA(child, className, static_cast<int>(sizeof className));
        if (!framework::BytesEqualIgnoringCase(className, "Static", 6)) continue;
        if (m_staticWrappers[nextWrapper].SubclassWindow(child)) ++nextWrapper;
    }
}

void SettingsDialog::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, kSineCheckId, m_sineCheck);
    DDX_Control(exchange, kFeedbackCheckId, m_feedbackCheck);
    DDX_Control(exchange, kFeedbackSliderId, m_feedbackSlider);
    DDX_Control(exchange, kDepthSliderId, m_depthSlider);
    DDX_Control(exchange, kSpeedSliderId, m_speedSlider);
    DDX_Control(exchange, kDelaySliderId, m_delaySlider);
    DDX_Control(exchange, kWidthSliderId, m_widthSlider);
    DDX_Slider(exchange, kWidthSliderId, m_widthPos);
    DDX_Text(exchange, kWidthLabelId, m_widthText);
    DDX_Slider(exchange, kDelaySliderId, m_delayPos);
    DDX_Text(exchange, kDelayLabelId, m_delayText);
    DDX_Slider(exchange, kSpeedSliderId, m_speedPos);
    DDX_Text(exchange, kSpeedLabelId, m_speedText);
    DDX_Slider(exchange, kDepthSliderId, m_depthPos);
    DDX_Slider(exchange, kFeedbackSliderId, m_feedbackPos);
    DDX_Text(exchange, kFeedbackLabelId, m_feedbackText);
    DDX_Text(exchange, kDepthLabelId, m_depthText);
    DDX_Check(exchange, kFeedbackCheckId, m_feedbackPositive);
    DDX_Check(exchange, kSineCheckId, m_sine);
}

BOOL SettingsDialog::OnInitDialog() {
    // Binds the wrappers and loads the members as they are, before the ranges are set.
    CDialog::OnInitDialog();
    m_delaySlider.SetRange(10, 100);
    m_widthSlider.SetRange(10, 100);
    m_speedSlider.SetRange(10, 200);
    m_feedbackSlider.SetRange(10, 100);
    m_depthSlider.SetRange(10, 100);
    UpdateLabels();
    // Again from the record, now that the ranges are in place: positions, labels and checks.
    ExchangeSettings(false);
    UpdateData(FALSE);
    WrapStaticControls();
    return TRUE;
}

void SettingsDialog::PostNcDestroy() { delete this; }

void SettingsDialog::OnHScroll(UINT code, UINT position, CWnd* scrollBar) {
    CDialog::OnHScroll(code, position, scrollBar);
    UpdateData(TRUE);
    UpdateLabels();
    UpdateData(FALSE);
    ExchangeSettings(true);
}

void SettingsDialog::OnDestroy() {
    // The object is released later, after the window's last message (PostNcDestroy): child
    // controls still get their destroy messages after this one.
    CDialog::OnDestroy();
}

void SettingsDialog::OnVScroll(UINT code, UINT position, CWnd* scrollBar) {
    UpdateData(TRUE);
    UpdateLabels();
    UpdateData(FALSE);
    // A released thumb reports TB_THUMBPOSITION and then TB_ENDTRACK: two stores. Dragging
    // (TB_THUMBTRACK) and line and page moves only move the label.
    if (code == TB_THUMBPOSITION || code == TB_ENDTRACK) {
        ExchangeSettings(true);
    } else {
        CDialog::OnVScroll(code, position, scrollBar);
    }
}

void SettingsDialog::OnCheckClicked() {
    UpdateData(TRUE);
    ExchangeSettings(true);
}

}  // namespace flanger::ui
