// Per-thread values of the layer: the last error and the current module context. Also the
// common-controls initialisation, which has nothing to do here: the trackbar class is always
// registered.
#include "flanger_user32.h"

namespace {

thread_local DWORD LastError = ERROR_SUCCESS;
thread_local void* ModuleContext = nullptr;

}  // namespace

extern "C" {

DWORD GetLastError(void) { return LastError; }

void SetLastError(DWORD error) { LastError = error; }

void* FlangerGetModuleContext(void) { return ModuleContext; }

void* FlangerSetModuleContext(void* context) {
    void* previous = ModuleContext;
    ModuleContext = context;
    return previous;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
    // As COMCTL32: the record must be there and say its own size.
    return controls != nullptr && controls->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}

}  // extern "C"
