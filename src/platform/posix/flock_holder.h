// Which process holds a file's flock, as the kernel lists it. A save that waits for a lock uses
// it to tell a lock that keeps changing hands from one that a single process keeps.
#pragma once

#include <sys/stat.h>

namespace flanger::platform::posix {

// The process id that holds the exclusive flock of the file `file` (from fstat or lstat) in
// /proc/locks; 0 when none is listed, or the list cannot be read, or the holder lives in another
// process namespace.
long FlockHolder(const struct stat& file);

}  // namespace flanger::platform::posix
