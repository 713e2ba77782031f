// The module's start-up, run once per load of the module into a process and before any of its
// exports uses a resource: either while the module loads or on the first call of an export.
#pragma once

#include "windowing/user32.h"

namespace flanger::framework {

// With the module's own state current (the caller's context restored afterwards): records
// `ownResources` as the module's instance and current resource handle, calls the application
// object's InitInstance (which may install another resource handle), then enters the module's
// own resources in the resource chain, so that lookups fall back to them. Never fails: an
// exception from InitInstance is dropped and the start-up goes on.
void AfxInitializeModule(HINSTANCE ownResources) noexcept;

// The start-up put off until the module is first entered: records the function that names the
// module's own resources. AfxEnsureModuleInitialized then runs AfxInitializeModule with its
// result, once. Called during the module's static initialisation.
void AfxDeferModuleInitialization(HINSTANCE (*ownResources)() noexcept) noexcept;

// The module's end, when it is unloaded, before any of its static objects is destroyed: hands
// the module's own resource handle to `releaseOwnResources` (on Linux the windowing layer then
// lets go of everything that points into the module, destroying the calling thread's windows of
// the module while their code is still there) and clears the module's resource handles.
void AfxTerminateModule(void (*releaseOwnResources)(HINSTANCE) noexcept) noexcept;

// Runs the start-up that AfxDeferModuleInitialization put off, exactly once however many threads
// call it, and returns when it has finished (the other callers wait for it too); does nothing
// when none was put off. Every entry into the module from its caller (the exports) calls it
// first. The start-up sets up COM for itself where the calling thread has none (see
// startup_apartment.h), so its outcome is the same whichever of the host's threads calls first
// and whatever COM apartment that thread is in.
void AfxEnsureModuleInitialized() noexcept;

}  // namespace flanger::framework
