// The "Button" class: push buttons and check boxes. Follows USER32 (Wine's button.c):
// WM_LBUTTONDOWN takes the focus and presses the button (BST_PUSHED, through BM_SETSTATE);
// moving with the button held presses or releases it as the pointer enters or leaves;
// WM_LBUTTONUP over a pressed button releases it, toggles an automatic check box (through
// BM_SETCHECK) and sends WM_COMMAND with BN_CLICKED to the parent; released outside, nothing.
// BM_SETCHECK clamps to the most the type can show (1 for check boxes, 0 for push buttons);
// BM_CLICK is a press and a release at (0, 0). The space bar presses and releases too.
// BM_GETSTATE answers the documented bits only (check state, BST_PUSHED, BST_FOCUS).
#include <new>

#include "windowing/posix/user32/control_support.h"
#include "windowing/posix/user32/controls.h"
#include "windowing/posix/user32/font_table.h"
#include "windowing/posix/user32/window_backend.h"

namespace flanger::platform::user32 {
namespace {

constexpr UINT kVirtualKeySpace = 0x20;

// The highest check state of each button type (BS_PUSHBUTTON ... BS_DEFCOMMANDLINK).
constexpr WORD kMaxCheckState[16] = {
    BST_UNCHECKED,     BST_UNCHECKED, BST_CHECKED,   BST_CHECKED,  BST_CHECKED,   BST_INDETERMINATE,
    BST_INDETERMINATE, BST_UNCHECKED, BST_UNCHECKED, BST_CHECKED,  BST_UNCHECKED, BST_UNCHECKED,
    BST_UNCHECKED,     BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED};

constexpr UINT kRadioButton = 4;
constexpr UINT kAuto3State = 6;
constexpr UINT kAutoRadioButton = 9;

class ButtonState final : public ControlState {
public:
    LONG state = BST_UNCHECKED;  // BST_* bits
    bool pressed = false;        // a press by mouse or space bar is under way
};

UINT ButtonType(HWND window) {
    return static_cast<UINT>(GetWindowLongA(window, GWL_STYLE)) & BS_TYPEMASK;
}

void NotifyParent(HWND window, WORD code) {
    SendMessageA(GetParent(window), WM_COMMAND,
                 MAKEWPARAM(GetWindowLongPtrA(window, GWLP_ID), code),
                 reinterpret_cast<LPARAM>(window));
}

void Release(HWND window, ButtonState& button, UINT message, POINT point) {
    if (!button.pressed) {
        return;
    }
    button.pressed = false;
    if ((button.state & BST_PUSHED) == 0) {
        return;  // the pointer left the button before the release
    }
    SendMessageA(window, BM_SETSTATE, FALSE, 0);
    RECT client{};
    GetClientRect(window, &client);
    if (message != WM_KEYUP && !PointInRect(client, point)) {
        return;
    }
    const LONG state = button.state;
    switch (ButtonType(window)) {
        case BS_AUTOCHECKBOX:
            SendMessageA(window, BM_SETCHECK, (state & BST_CHECKED) ? BST_UNCHECKED : BST_CHECKED,
                         0);
            break;
        case kAutoRadioButton:
            SendMessageA(window, BM_SETCHECK, BST_CHECKED, 0);
            break;
        case kAuto3State:
            SendMessageA(window, BM_SETCHECK,
                         (state & BST_INDETERMINATE) ? BST_UNCHECKED : (state & 3) + 1, 0);
            break;
        default:
            break;
    }
    NotifyParent(window, BN_CLICKED);
}

}  // namespace

LRESULT ButtonProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto control = FindOwnControl<ButtonState>(window);
    if (control.window == nullptr) {
        return 0;
    }
    if (message == WM_CREATE) {
        try {
            control.window->control = std::make_unique<ButtonState>();
        } catch (const std::bad_alloc&) {
            return -1;
        }
        return 0;
    }
    if (control.state == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    ButtonState& button = *control.state;
    const POINT point = PointFromLParam(lParam);
    switch (message) {
        case WM_LBUTTONDOWN:
            SetFocus(window);
            button.pressed = true;
            SendMessageA(window, BM_SETSTATE, TRUE, 0);
            return 0;
        case WM_MOUSEMOVE:
            if ((wParam & MK_LBUTTON) != 0 && button.pressed) {
                RECT client{};
                GetClientRect(window, &client);
                SendMessageA(window, BM_SETSTATE, PointInRect(client, point) ? TRUE : FALSE, 0);
            }
            return 0;
        case WM_LBUTTONUP:
            Release(window, button, message, point);
            return 0;
        case WM_KEYDOWN:
            if (wParam == kVirtualKeySpace) {
                SendMessageA(window, BM_SETSTATE, TRUE, 0);
                button.pressed = true;
            }
            return 0;
        case WM_KEYUP:
            if (wParam == kVirtualKeySpace) {
                Release(window, button, message, point);
            }
            return 0;
        case WM_SETFOCUS:
            button.state |= BST_FOCUS;
            Backend().Invalidated(window);
            return 0;
        case WM_KILLFOCUS:
            button.state &= ~BST_FOCUS;
            if (button.pressed) {
                // Losing the focus ends a press without a click.
                button.pressed = false;
                if ((button.state & BST_PUSHED) != 0) {
                    SendMessageA(window, BM_SETSTATE, FALSE, 0);
                }
            }
            Backend().Invalidated(window);
            return 0;
        case WM_ENABLE:
            Backend().Invalidated(window);
            return 0;
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcA(window, message, wParam, lParam);
            Backend().Invalidated(window);
            return result;
        }
        case WM_SETFONT:
            StoreWindowFont(window, reinterpret_cast<HFONT>(wParam));
            if (lParam != 0) {
                Backend().Invalidated(window);
            }
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(StoredWindowFont(window));
        case BM_CLICK:
            SendMessageA(window, WM_LBUTTONDOWN, 0, 0);
            SendMessageA(window, WM_LBUTTONUP, 0, 0);
            return 0;
        case BM_GETCHECK:
            return button.state & 3;
        case BM_SETCHECK: {
            const UINT type = ButtonType(window);
            const WPARAM check = wParam > kMaxCheckState[type] ? kMaxCheckState[type] : wParam;
            if (type == kRadioButton || type == kAutoRadioButton) {
                // A checked radio button is the group's tab stop.
                const LONG style = GetWindowLongA(window, GWL_STYLE);
                SetWindowLongA(window, GWL_STYLE,
                               check != 0 ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP));
            }
            if (static_cast<WPARAM>(button.state & 3) != check) {
                button.state = (button.state & ~3) | static_cast<LONG>(check);
                Backend().Invalidated(window);
            }
            return 0;
        }
        case BM_GETSTATE:
            return button.state;
        case BM_SETSTATE:
            if (wParam != 0) {
                button.state |= BST_PUSHED;
            } else {
                button.state &= ~BST_PUSHED;
            }
            Backend().Invalidated(window);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace flanger::platform::user32
