// The start-up thread on Windows.
#include <process.h>

#include <cstdint>

#include "platform/framework/startup_thread.h"
#include "platform/user32.h"
// After <windows.h>.
#include <objbase.h>

namespace flanger::framework {
namespace {

unsigned __stdcall StartupThreadMain(void* work) {
    // COM for this thread alone: the start-up reads "Language.xml" with the system's XML parser,
    // a COM object. Left again before the thread ends, with every object of the start-up gone.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    (*static_cast<void (**)() noexcept>(work))();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

}  // namespace

void RunOnStartupThread(void (*work)() noexcept) noexcept {
    // _beginthreadex rather than CreateThread: the start-up uses the C runtime.
    const std::uintptr_t thread = _beginthreadex(nullptr, 0, &StartupThreadMain, &work, 0, nullptr);
    if (thread == 0) {
        work();
        return;
    }
    // The thread's end, not a signal from it: once the wait returns, none of the module's code
    // runs on that thread any more.
    const auto handle = reinterpret_cast<HANDLE>(thread);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
}

}  // namespace flanger::framework
