// A shared object without the resource entry point: it loads, and has no resources. It also
// stands for a module that registers its code with the layer and is then unloaded: a resource
// function, and a window procedure that counts the windows it saw destroyed.
#include "flanger_user32.h"

namespace {

alignas(4) const unsigned char kCompiledIn[4] = {0x11, 0x22, 0x33, 0x44};
int destroyedWindows = 0;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int FlangerTestPlainLibrary() { return 1; }

__attribute__((visibility("default"))) const void* FlangerTestFindResource(uint32_t type,
                                                                           uint32_t name,
                                                                           uint32_t* size) {
    if (type != 5 || name != 100) return nullptr;
    *size = sizeof kCompiledIn;
    return kCompiledIn;
}

__attribute__((visibility("default"))) LRESULT FlangerTestWindowProcedure(HWND, UINT message,
                                                                          WPARAM, LPARAM) {
    if (message == WM_DESTROY) ++destroyedWindows;
    return message == WM_NCCREATE ? TRUE : 0;
}

__attribute__((visibility("default"))) int FlangerTestDestroyedWindows() {
    return destroyedWindows;
}

}  // extern "C"
