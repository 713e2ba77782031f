// The dialog manager: CreateDialogIndirectParamA builds a modeless dialog from a template, and
// the helpers that address a dialog's controls by id.
//
// Follows USER32 (Wine's dialog.c). The dialog window gets the template's style with DS_3DLOOK
// added (DS_CONTROL drops the caption and system menu) and is created hidden; its size and its
// controls' rectangles are the template's dialog units converted with the font's base units
// (x * baseX / 4, y * baseY / 8, rounded as MulDiv rounds). A popup dialog is placed relative
// to its owner's client area unless DS_ABSALIGN. Then: DWLP_DLGPROC, WM_SETFONT to the dialog,
// the controls in template order (WS_CHILD forced, WS_BORDER turned into WS_EX_CLIENTEDGE,
// the creation data as lpCreateParams, WM_SETFONT to each), WM_INITDIALOG with the first tab
// stop in wParam, the focus moved to the first tab stop when the dialog procedure answers TRUE,
// and ShowWindow when the template says WS_VISIBLE. A control that cannot be created destroys
// the dialog and gives null, unless the template has DS_NOFAILCREATE.
#include <cstdint>
#include <cstdlib>

#include "windowing/dialog_template_parser.h"
#include "windowing/posix/user32/dialog_info.h"
#include "windowing/posix/user32/resource_modules.h"
#include "windowing/posix/user32/window_lifecycle.h"

namespace flanger::platform::user32 {
namespace {

struct DialogFont {
    HFONT font = nullptr;
    int baseUnitX = kSystemBaseUnitX;
    int baseUnitY = kSystemBaseUnitY;
};

// The template's font and its base units; without DS_SETFONT the system font's units.
// Throws std::bad_alloc.
DialogFont ChooseFont(const DialogTemplate& dialog) {
    DialogFont chosen;
    if (!dialog.hasFont) {
        return chosen;
    }
    // 0x7FFF asks for the message font, which is "MS Shell Dlg" 8 pt here.
    const bool messageFont = dialog.pointSize == 0x7FFF;
    std::lock_guard lock(LayerMutex());
    chosen.font = FindOrAddFont(messageFont ? "MS Shell Dlg" : dialog.faceName,
                                messageFont ? 8 : std::abs(dialog.pointSize));
    FontInfo info;
    if (DescribeFont(chosen.font, info)) {
        chosen.baseUnitX = info.baseUnitX;
        chosen.baseUnitY = info.baseUnitY;
    }
    return chosen;
}

// Creates the controls; false when one fails and the template does not allow that.
bool CreateControls(HWND dialog, const DialogTemplate& parsed, const DialogFont& font,
                    HINSTANCE instance) {
    for (const TemplateItem& item : parsed.items) {
        DWORD style = (item.style & ~static_cast<DWORD>(WS_POPUP)) | WS_CHILD;
        DWORD exStyle = item.exStyle | WS_EX_NOPARENTNOTIFY;
        if ((style & WS_BORDER) != 0) {
            style &= ~static_cast<DWORD>(WS_BORDER);
            exStyle |= WS_EX_CLIENTEDGE;
        }
        HWND control = nullptr;
        if (item.className.empty()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        } else {
            control = CreateWindowExA(
                exStyle, item.className.c_str(), item.text.c_str(), style,
                MulDiv(item.x, font.baseUnitX, 4), MulDiv(item.y, font.baseUnitY, 8),
                MulDiv(item.cx, font.baseUnitX, 4), MulDiv(item.cy, font.baseUnitY, 8), dialog,
                reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(item.id)), instance,
                const_cast<void*>(item.creationData));
        }
        if (control == nullptr) {
            if ((parsed.style & DS_NOFAILCREATE) != 0) {
                continue;
            }
            return false;
        }
        if (font.font != nullptr) {
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.font), 0);
        }
    }
    return true;
}

HWND CreateDialogWindow(HINSTANCE instance, const DialogTemplate& parsed, HWND parent,
                        DLGPROC procedure, LPARAM initParam, const DialogFont& font) {
    DWORD style = parsed.style;
    DWORD exStyle = parsed.exStyle;
    if ((style & DS_CONTROL) != 0) {
        style &= ~static_cast<DWORD>(WS_CAPTION | WS_SYSMENU);
    }
    style |= DS_3DLOOK;
    if ((style & DS_MODALFRAME) != 0) {
        exStyle |= WS_EX_DLGMODALFRAME;
    }
    if ((style & DS_CONTROL) != 0 || (style & WS_CHILD) == 0) {
        exStyle |= WS_EX_CONTROLPARENT;
    }
    POINT position{CW_USEDEFAULT, CW_USEDEFAULT};
    if (parsed.x != static_cast<short>(0x8000)) {
        position = POINT{MulDiv(parsed.x, font.baseUnitX, 4), MulDiv(parsed.y, font.baseUnitY, 8)};
        if ((style & (WS_CHILD | DS_ABSALIGN)) == 0 && parent != nullptr) {
            MapWindowPoints(parent, nullptr, &position, 1);
        }
    }
    const char* className = parsed.classAtom != 0       ? MAKEINTRESOURCEA(parsed.classAtom)
                            : !parsed.className.empty() ? parsed.className.c_str()
                                                        : WC_DIALOG;
    const HWND dialog = CreateWindowExA(
        exStyle, className, parsed.caption.c_str(), style & ~static_cast<DWORD>(WS_VISIBLE),
        position.x, position.y, MulDiv(parsed.cx, font.baseUnitX, 4),
        MulDiv(parsed.cy, font.baseUnitY, 8), parent, nullptr, instance, nullptr);
    if (dialog == nullptr) {
        return nullptr;
    }
    try {
        if (!WithDialogInfo(dialog, [&](Window& window, DialogInfo& info) {
                info.font = font.font;
                info.baseUnitX = font.baseUnitX;
                info.baseUnitY = font.baseUnitY;
                window.font = font.font;
            })) {
            if (IsWindow(dialog)) {
                DestroyWindow(dialog);
            }
            return nullptr;
        }
        WriteDialogLong(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(procedure));
        if (procedure != nullptr && font.font != nullptr) {
            SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font.font), 0);
        }
        if (!CreateControls(dialog, parsed, font, instance)) {
            const DWORD error = GetLastError();
            if (IsWindow(dialog)) {
                DestroyWindow(dialog);
            }
            SetLastError(error);
            return nullptr;
        }
        if (procedure != nullptr) {
            const HWND firstFocus = FirstFocusableControl(dialog);
            if (SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstFocus),
                             initParam) != 0 &&
                IsWindow(dialog) && ((style & DS_CONTROL) == 0 || (style & WS_VISIBLE) != 0)) {
                // The dialog procedure asked for the default focus; it may have changed the
                // controls meanwhile, so the first tab stop is looked for again.
                if (const HWND focus = FirstFocusableControl(dialog)) {
                    SetFocus(focus);
                } else if ((style & WS_CHILD) == 0) {
                    SetFocus(dialog);
                }
            }
        }
        if ((style & WS_VISIBLE) != 0 && IsWindow(dialog) &&
            (GetWindowLongA(dialog, GWL_STYLE) & WS_VISIBLE) == 0) {
            ShowWindow(dialog, SW_SHOWNORMAL);
        }
    } catch (...) {
        RemoveQuietly(dialog);
        throw;
    }
    return IsWindow(dialog) ? dialog : nullptr;
}

}  // namespace
}  // namespace flanger::platform::user32

using namespace flanger::platform;
using namespace flanger::platform::user32;

extern "C" {

HWND CreateDialogIndirectParamA(HINSTANCE instance, LPCDLGTEMPLATEA dialog, HWND parent,
                                DLGPROC procedure, LPARAM initParam) {
    if (dialog == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    DialogTemplate parsed;
    DialogFont font;
    TemplateProblem problem = TemplateProblem::None;
    if (!RunGuarded([&] {
            std::size_t extent = KnownResourceExtent(dialog);
            if (extent == 0) {
                extent = SIZE_MAX;  // not from a resource: trusted to be whole
            }
            problem =
                ParseDialogTemplate(reinterpret_cast<const unsigned char*>(dialog), extent, parsed);
            if (problem == TemplateProblem::None) {
                font = ChooseFont(parsed);
            }
        })) {
        return nullptr;
    }
    if (problem != TemplateProblem::None) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateDialogWindow(instance, parsed, parent, procedure, initParam, font);
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int baseUnitX = 0;
    int baseUnitY = 0;
    bool isDialog = false;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        const Window* window = Windows().Find(dialog);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        } else if (window->dialog != nullptr) {
            isDialog = true;
            baseUnitX = window->dialog->baseUnitX;
            baseUnitY = window->dialog->baseUnitY;
        }
    });
    if (!isDialog) {
        return FALSE;
    }
    rect->left = MulDiv(rect->left, baseUnitX, 4);
    rect->right = MulDiv(rect->right, baseUnitX, 4);
    rect->top = MulDiv(rect->top, baseUnitY, 8);
    rect->bottom = MulDiv(rect->bottom, baseUnitY, 8);
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
    HWND found = nullptr;
    RunGuarded([&] {
        std::lock_guard lock(LayerMutex());
        const Window* window = Windows().Find(dialog);
        if (window == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return;
        }
        for (HWND child : window->children) {
            const Window* control = Windows().Find(child);
            if (control != nullptr && control->id == static_cast<LONG_PTR>(id)) {
                found = child;
                return;
            }
        }
        SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    });
    return found;
}

int GetDlgCtrlID(HWND window) { return static_cast<int>(GetWindowLongPtrA(window, GWLP_ID)); }

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? SendMessageA(control, message, wParam, lParam) : 0;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, check, 0);
    return TRUE;  // as USER32, whatever became of the message
}

}  // extern "C"
