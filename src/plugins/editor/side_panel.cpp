// The controls beside the settings dialog, one row per ControlHome::Live control the plug-in has.
#include "plugins/editor/side_panel.h"

#include <cmath>
#include <cstdio>

#include "plugins/plugin_ports.h"

namespace flanger::plugins {
namespace {

// Child ids: the control's index after this, clear of the container's notification (id 0).
constexpr int kFirstId = 1000;

// The layout in dialog units, the unit of the settings dialog's own layout; each row is one
// trackbar high.
constexpr int kMargin = 4;
constexpr int kRowPitch = 16;
constexpr int kLabelWidth = 44;
constexpr int kTrackbarWidth = 72;
constexpr int kTrackbarHeight = 14;
constexpr int kNumberWidth = 28;
constexpr int kTextHeight = 8;
constexpr int kPanelWidth = kMargin + kLabelWidth + kTrackbarWidth + kNumberWidth + kMargin;

constexpr DWORD kCheckBoxStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kTrackbarStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | TBS_BOTH | TBS_NOTICKS;
constexpr DWORD kTextStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;

bool IsSwitch(const Control& control) { return control.Unit == ControlUnit::Switch; }

// `value` on the control's grid, in trackbar positions, within its range.
LONG PositionOf(const Control& control, float value) {
    const float clamped = std::isnan(value)         ? control.Default
                          : value < control.Minimum ? control.Minimum
                          : value > UpperLimit(control) ? UpperLimit(control)
                                                    : value;
    return OnGrid(control, clamped);
}

float ValueOf(const Control& control, LONG position) {
    return static_cast<float>(static_cast<double>(position) / control.Scale);
}

class Placer {
public:
    Placer(HWND parent, HWND dialog, int left) : Parent(parent), Dialog(dialog), Left(left) {}

    // A child of `className` at (x, y, width, height) in dialog units from the panel's corner.
    HWND Make(const char* className, const char* text, DWORD style, int id, int x, int y, int width,
              int height) const {
        RECT place{x, y, x + width, y + height};
        MapDialogRect(Dialog, &place);
        const HWND child =
            CreateWindowExA(0, className, text, style, Left + place.left, place.top,
                            place.right - place.left, place.bottom - place.top, Parent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        if (child != nullptr) {
            SendMessageA(child, WM_SETFONT,
                         static_cast<WPARAM>(SendMessageA(Dialog, WM_GETFONT, 0, 0)), FALSE);
        }
        return child;
    }

    SidePanel::Size Extent(int rows) const {
        RECT size{0, 0, kPanelWidth, kMargin + rows * kRowPitch + kMargin};
        MapDialogRect(Dialog, &size);
        return {size.right, size.bottom};
    }

private:
    HWND Parent;
    HWND Dialog;
    int Left;
};

}  // namespace

SidePanel::Size SidePanel::Create(HWND parent, HWND dialog, std::uint32_t channels, int left) {
    const Placer placer(parent, dialog, left);
    int y = kMargin;
    for (std::uint32_t index = 0; index < kControlCount; ++index) {
        const Control& control = kControls[index];
        if (control.Home != ControlHome::Live || !HasControl(channels, index)) continue;
        const int id = kFirstId + static_cast<int>(index);
        Row row{index, nullptr, nullptr};
        if (IsSwitch(control)) {
            row.Input = placer.Make("Button", control.Label, kCheckBoxStyle, id, kMargin, y + 1,
                                    kPanelWidth - 2 * kMargin, kTrackbarHeight - 2);
        } else {
            const int textY = y + (kTrackbarHeight - kTextHeight) / 2;
            const int trackbarX = kMargin + kLabelWidth;
            if (placer.Make("Static", control.Label, kTextStyle, -1, kMargin, textY, kLabelWidth,
                            kTextHeight) == nullptr) {
                return {0, 0};
            }
            row.Input = placer.Make(TRACKBAR_CLASSA, "", kTrackbarStyle, id, trackbarX, y,
                                    kTrackbarWidth, kTrackbarHeight);
            row.Number = placer.Make("Static", "", kTextStyle, -1, trackbarX + kTrackbarWidth,
                                     textY, kNumberWidth, kTextHeight);
            if (row.Input == nullptr || row.Number == nullptr) return {0, 0};
            SendMessageA(row.Input, TBM_SETRANGEMIN, FALSE, OnGrid(control, control.Minimum));
            SendMessageA(row.Input, TBM_SETRANGEMAX, TRUE, OnGrid(control, UpperLimit(control)));
        }
        if (row.Input == nullptr) return {0, 0};
        Rows.push_back(row);
        y += kRowPitch;
    }
    return placer.Extent(static_cast<int>(Rows.size()));
}

void SidePanel::Show(const ControlValues& values) {
    for (const Row& row : Rows) {
        const Control& control = kControls[row.Control];
        const float value = values[row.Control];
        if (IsSwitch(control)) {
            // As the plug-in reads a switch: on above 0, and a value that is not a number is
            // the default.
            const bool on = std::isnan(value) ? control.Default > 0.0f : value > 0.0f;
            SendMessageA(row.Input, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
            continue;
        }
        const LONG position = PositionOf(control, value);
        SendMessageA(row.Input, TBM_SETPOS, TRUE, position);
        ShowNumber(row, position);
    }
}

bool SidePanel::Read(HWND child, std::uint32_t& control, float& value) {
    for (const Row& row : Rows) {
        if (row.Input != child) continue;
        control = row.Control;
        if (IsSwitch(kControls[row.Control])) {
            value = SendMessageA(child, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1.0f : 0.0f;
            return true;
        }
        const auto position = static_cast<LONG>(SendMessageA(child, TBM_GETPOS, 0, 0));
        ShowNumber(row, position);
        value = ValueOf(kControls[row.Control], position);
        return true;
    }
    return false;
}

void SidePanel::ShowNumber(const Row& row, LONG position) {
    const Control& control = kControls[row.Control];
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", GridDecimals(control),
                  static_cast<double>(ValueOf(control, position)));
    SetWindowTextA(row.Number, text);
}

}  // namespace flanger::plugins
