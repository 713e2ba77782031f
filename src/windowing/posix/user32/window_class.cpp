// Window classes and RegisterClassA / UnregisterClassA.
#include "windowing/posix/user32/window_class.h"

#include <cstring>
#include <mutex>

#include "windowing/posix/user32/api_guard.h"
#include "windowing/posix/user32/controls.h"
#include "windowing/posix/user32/text_conversion.h"
#include "windowing/posix/user32/window_backend.h"
#include "windowing/posix/user32/window_table.h"

namespace flanger::platform::user32 {
namespace {

// The most extra bytes a class may ask for, as Windows limits cbWndExtra.
constexpr int kMaxExtraBytes = 40000;

// The dialog class's atom, as WC_DIALOG names it.
constexpr ATOM kDialogAtom = 0x8002;

}  // namespace

ClassTable::ClassTable() {
    AddPredefined("#32770", kDialogAtom, DefDlgProcA, DLGWINDOWEXTRA);
    AddPredefined(WC_BUTTONA, 0, ButtonProcedure, 0);
    AddPredefined(WC_STATICA, 0, StaticProcedure, 0);
    AddPredefined(TRACKBAR_CLASSA, 0, TrackbarProcedure, 0);
    AddPredefined(kForeignWindowClass, 0, DefWindowProcA, 0);
}

void ClassTable::AddPredefined(const char* name, ATOM atom, WNDPROC procedure, int extraBytes) {
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = name;
    windowClass->atom = atom != 0 ? atom : NextAtom++;
    windowClass->style = CS_GLOBALCLASS;
    windowClass->procedure = procedure;
    windowClass->windowExtraBytes = extraBytes;
    windowClass->predefined = true;
    Classes.push_back(std::move(windowClass));
}

ATOM ClassTable::Register(const WNDCLASSA& windowClass, DWORD& error) {
    const char* name = windowClass.lpszClassName;
    if (name == nullptr || IS_INTRESOURCE(name) || name[0] == '\0' ||
        std::strlen(name) > kMaxClassNameLength || windowClass.cbWndExtra < 0 ||
        windowClass.cbWndExtra > kMaxExtraBytes || windowClass.cbClsExtra < 0 ||
        windowClass.cbClsExtra > kMaxExtraBytes) {
        error = ERROR_INVALID_PARAMETER;
        return 0;
    }
    ATOM atom = 0;
    for (const auto& existing : Classes) {
        if (existing->predefined || !EqualsIgnoringAsciiCase(existing->name, name)) {
            continue;
        }
        if (existing->instance == windowClass.hInstance) {
            error = ERROR_CLASS_ALREADY_EXISTS;
            return 0;
        }
        atom = existing->atom;  // one atom per name, as in the global atom table
    }
    auto added = std::make_shared<WindowClass>();
    added->name = name;
    added->atom = atom != 0 ? atom : NextAtom++;
    added->style = windowClass.style;
    added->procedure = windowClass.lpfnWndProc;
    added->windowExtraBytes = windowClass.cbWndExtra;
    added->instance = windowClass.hInstance;
    Classes.push_back(added);
    return added->atom;
}

std::shared_ptr<const WindowClass> ClassTable::Find(LPCSTR nameOrAtom, HINSTANCE instance) const {
    if (nameOrAtom == nullptr) {
        return nullptr;
    }
    std::string_view name;
    if (IS_INTRESOURCE(nameOrAtom)) {
        const ATOM atom = LOWORD(nameOrAtom);
        for (const auto& windowClass : Classes) {
            if (windowClass->atom == atom) {
                name = windowClass->name;
                break;
            }
        }
        if (name.empty()) {
            return nullptr;
        }
    } else {
        name = nameOrAtom;
    }
    // Local classes of the instance, then global ones, then the predefined classes.
    for (const int pass : {0, 1, 2}) {
        for (const auto& windowClass : Classes) {
            if (!EqualsIgnoringAsciiCase(windowClass->name, name)) {
                continue;
            }
            const bool matches =
                pass == 0   ? !windowClass->predefined && windowClass->instance == instance
                : pass == 1 ? !windowClass->predefined && (windowClass->style & CS_GLOBALCLASS)
                            : windowClass->predefined;
            if (matches) {
                return windowClass;
            }
        }
    }
    return nullptr;
}

bool ClassTable::Unregister(LPCSTR nameOrAtom, HINSTANCE instance, DWORD& error) {
    const auto windowClass = Find(nameOrAtom, instance);
    if (windowClass == nullptr || windowClass->predefined || windowClass->instance != instance) {
        error = ERROR_CLASS_DOES_NOT_EXIST;
        return false;
    }
    if (user32::Windows().AnyOfClass(windowClass.get())) {
        error = ERROR_CLASS_HAS_WINDOWS;
        return false;
    }
    std::erase(Classes, windowClass);
    return true;
}

ClassTable& Classes() {
    static auto* table = new ClassTable;
    return *table;
}

}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ATOM atom = 0;
    DWORD error = ERROR_SUCCESS;
    if (!RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            atom = Classes().Register(*windowClass, error);
        })) {
        return 0;
    }
    if (atom == 0) {
        SetLastError(error);
    }
    return atom;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    bool done = false;
    DWORD error = ERROR_SUCCESS;
    if (!RunGuarded([&] {
            std::lock_guard lock(LayerMutex());
            done = Classes().Unregister(className, instance, error);
        })) {
        return FALSE;
    }
    if (!done) {
        SetLastError(error);
    }
    return done ? TRUE : FALSE;
}

}  // extern "C"
