// Modules and their resources: shared objects opened with LoadLibraryA, modules whose resources
// are compiled in (FlangerRegisterResourceModule), and the resource handles handed out for them.
//
// Module and resource handles are numbers from counters, never reused; the tables are never
// destroyed, so a module stays reachable until FreeLibrary, FlangerUnregisterResourceModule or
// the end of the process.
#pragma once

#include <cstddef>

#include "flanger_user32.h"
#include "windowing/posix/user32/loaded_object.h"

namespace flanger::platform::user32 {

// How many bytes may be read from `address` if it lies inside a resource found through
// FindResourceA (up to that resource's end); 0 when it lies in none.
std::size_t KnownResourceExtent(const void* address) noexcept;

// The resource function registered under `module` with FlangerRegisterResourceModule; null for
// any other handle (a loaded library, the program, a handle that was never given out).
FlangerFindResourceFunction RegisteredResourceFunction(HMODULE module) noexcept;

// Forgets the registered `module` with its resources, every other registered module whose
// resource function lies in `object` and every resource whose bytes lie there: their handles
// then fail softly, as those of a freed library do.
void ForgetRegisteredModule(HMODULE module, const LoadedObject& object) noexcept;

}  // namespace flanger::platform::user32
