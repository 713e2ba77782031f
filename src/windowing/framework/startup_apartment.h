// The COM apartment a module's start-up runs in when it was put off past the load (see
// module_startup.h): one the start-up sets up for itself on the calling thread when that thread
// has none, so that its outcome does not depend on the thread that happens to call first.
#pragma once

namespace flanger::framework {

// Windows: runs `work` on the calling thread with COM initialised there: the caller's own
// apartment when it has one (single- or multi-threaded; the system's XML parser, which the
// start-up creates, runs in either), else a single-threaded apartment that is left again when
// `work` returns, with every COM object of the start-up gone, so that the thread is as the host
// left it. Not to be called under the loader lock (from a DllMain).
//
// The start-up once ran on a short-lived thread of the module's own. Starting a thread whose
// first CoInitializeEx is the process's first gains nothing over this, and under 32-bit Wine in
// qemu's user emulation such a start crashed the process now and then.
//
// Linux: the module starts up while it loads, and nothing is put off; `work` runs as it is.
void RunInStartupApartment(void (*work)() noexcept) noexcept;

}  // namespace flanger::framework
