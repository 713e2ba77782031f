// Where a module's start-up runs when it was put off past the load (see module_startup.h): on a
// thread of the module's own, so that its outcome does not depend on the thread that happens to
// call first.
#pragma once

namespace flanger::framework {

// Windows: runs `work` on a new thread that initialises COM for itself (a single-threaded
// apartment, as a host's loading thread has), and returns once that thread has ended, so no
// code of the module runs on it afterwards and the host may free the module as soon as the
// caller returns. The caller's thread and its COM apartment are left alone. When no thread can
// be started, `work` runs on the calling thread. Not to be called under the loader lock (from a
// DllMain): the new thread could not start, and the caller would wait for ever.
//
// Linux: the module starts up while it loads, and nothing is put off; `work` runs on the calling
// thread.
void RunOnStartupThread(void (*work)() noexcept) noexcept;

}  // namespace flanger::framework
