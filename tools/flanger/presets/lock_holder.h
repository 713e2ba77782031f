// Who holds the lock of a preset file that a save gave up waiting for, for the one line that
// reports it. Saves lock profile and XML files with flock (the module's profile writes and the
// command's XML saves alike) and wait for another holder at most the store wait.
#pragma once

#include <optional>
#include <string>

namespace flanger::tool {

// Whether another process holds the lock of the file at `path` now: its process id as the
// kernel lists it (/proc/locks), 0 when the lock is held but the holder cannot be known (no such
// list, a holder in another process namespace); nothing when the file is not locked.
std::optional<long> LockHolder(const std::string& path);

// "process 1234 held its lock for more than 5 s", or "another process ..." for holder 0.
std::string DescribeHeldLock(long holder);

}  // namespace flanger::tool
