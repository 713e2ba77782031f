// Window classes: the ones a program registers and the predefined ones ("#32770", "Button",
// "Static", "msctls_trackbar32", and "FlangerNativeWindow" for a display's own windows).
//
// Names compare without regard to ASCII case. A class belongs to the module instance that
// registered it; a lookup takes the class of the caller's instance first, then one of any
// instance, then a predefined class, as Windows searches local, global and system classes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "flanger_user32.h"

namespace flanger::platform::user32 {

struct WindowClass {
    std::string name;  // as registered
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    int windowExtraBytes = 0;
    HINSTANCE instance = nullptr;
    bool predefined = false;
};

// Every member is called with LayerMutex() held.
class ClassTable {
public:
    ClassTable();

    // The new class's atom, or 0 with `error` set. Throws std::bad_alloc.
    ATOM Register(const WNDCLASSA& windowClass, DWORD& error);

    // The class named by a string or an atom (MAKEINTRESOURCE); null when there is none.
    std::shared_ptr<const WindowClass> Find(LPCSTR nameOrAtom, HINSTANCE instance) const;

    // Takes a registered class out; predefined classes stay.
    bool Unregister(LPCSTR nameOrAtom, HINSTANCE instance, DWORD& error);

    // Takes out every registered class for which `unregister(class)` holds, whether or not
    // windows of it live (they keep their class object), and returns them.
    template <typename Predicate>
    std::vector<std::shared_ptr<const WindowClass>> TakeOutWhere(Predicate&& unregister) {
        std::vector<std::shared_ptr<const WindowClass>> taken;
        std::erase_if(Classes, [&](const std::shared_ptr<const WindowClass>& windowClass) {
            if (windowClass->predefined || !unregister(*windowClass)) return false;
            taken.push_back(windowClass);
            return true;
        });
        return taken;
    }

private:
    void AddPredefined(const char* name, ATOM atom, WNDPROC procedure, int extraBytes);

    std::vector<std::shared_ptr<const WindowClass>> Classes;
    ATOM NextAtom = 0xC000;  // where Windows starts string atoms
};

ClassTable& Classes();

// The longest class name accepted, in bytes.
constexpr std::size_t kMaxClassNameLength = 256;

}  // namespace flanger::platform::user32
