// How long a save waits for a store that another writer keeps busy: a profile or XML file whose
// lock another save holds, or a registry database another connection keeps locked.
//
// A host's audio editor calls SavePreset on a thread it may need back, and a process that hangs
// or is stopped while holding a preset file must not keep it waiting for ever. Every such wait
// ends after the same time, and the save then fails.
#pragma once

#include <chrono>

namespace flanger::platform::posix {

// Long enough that no save of a preset comes near it, even on a loaded machine.
inline constexpr std::chrono::milliseconds kStoreWait{5000};

// kStoreWait, unless a test shortened it.
std::chrono::milliseconds StoreWait();

// For tests: makes the waits that begin afterwards end after `wait`.
void SetStoreWait(std::chrono::milliseconds wait);

enum class LockResult { Locked, Busy, Failed };

// Takes the exclusive advisory lock (flock) of the open file or directory `descriptor`,
// waiting at most StoreWait() for other holders to let go. Busy when they did not, Failed when
// the file system refuses the lock (errno tells why).
LockResult LockWithinStoreWait(int descriptor);

}  // namespace flanger::platform::posix
