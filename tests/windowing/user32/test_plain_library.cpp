// A shared object without the resource entry point: it loads, and has no resources. It also
// stands for a module that registers resources and a window class with the layer and is then
// unloaded; its one resource counts the windows of the class that were destroyed.
#include "flanger_user32.h"

#define EXPORTED extern "C" __attribute__((visibility("default")))

namespace {
int destroyed = 0;
}  // namespace

EXPORTED int FlangerTestPlainLibrary() { return 1; }

EXPORTED const void* FlangerTestFindResource(uint32_t type, uint32_t name, uint32_t* size) {
    *size = sizeof destroyed;
    return type == 5 && name == 100 ? &destroyed : nullptr;
}

EXPORTED LRESULT FlangerTestProcedure(HWND, UINT message, WPARAM, LPARAM) {
    destroyed += message == WM_DESTROY;
    return message == WM_NCCREATE;
}
