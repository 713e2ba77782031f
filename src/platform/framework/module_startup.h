// The module's start-up, run once when the module is loaded into a process and before any of
// its exports can be called.
#pragma once

#include "platform/user32.h"

namespace flanger::framework {

// With the module's own state current (the caller's context restored afterwards): records
// `ownResources` as the module's instance and current resource handle, calls the application
// object's InitInstance (which may install another resource handle), then enters the module's
// own resources in the resource chain, so that lookups fall back to them. Never fails: an
// exception from InitInstance is dropped and the start-up goes on.
void AfxInitializeModule(HINSTANCE ownResources) noexcept;

}  // namespace flanger::framework
