// The start-up's COM apartment on Windows.
#include "windowing/framework/startup_apartment.h"
#include "windowing/user32.h"
// After <windows.h>.
#include <objbase.h>

namespace flanger::framework {

void RunInStartupApartment(void (*work)() noexcept) noexcept {
    // S_OK: a new apartment of ours; S_FALSE: the caller's, counted once more. Both are balanced
    // below. RPC_E_CHANGED_MODE: the caller's multi-threaded apartment, used as it is.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    work();
    if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace flanger::framework
