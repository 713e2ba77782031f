// Modules and their resources: shared objects opened with LoadLibraryA, modules whose resources
// are compiled in (FlangerRegisterResourceModule), and the resource handles handed out for them.
//
// Module and resource handles are numbers from counters, never reused; the tables are never
// destroyed, so a module stays reachable until FreeLibrary or the end of the process.
#pragma once

#include <cstddef>

namespace flanger::platform::user32 {

// How many bytes may be read from `address` if it lies inside a resource found through
// FindResourceA (up to that resource's end); 0 when it lies in none.
std::size_t KnownResourceExtent(const void* address) noexcept;

}  // namespace flanger::platform::user32
