// Why a registry call failed in the SQLite store, in words a person can act on.
//
// The registry calls answer Windows codes, which say "cannot read" for a full disk and a
// damaged file alike. The store remembers, per thread, the database and SQLite's own cause of
// the last call that failed, so that a tool facing a person can name both.
#pragma once

#include <string>

namespace flanger::platform {

// Remembers a failure of the calling thread's last registry call. `sqliteCode` is SQLite's
// result (kLaterFormat for a store of a later format of ours), `systemError` the errno behind it
// or 0.
inline constexpr int kLaterFormat = 1 << 20;
void RecordRegistryFailure(const std::string& database, int sqliteCode, int systemError);

// "the registry database 'PATH': CAUSE" for the last failure recorded on this thread, such as
// "the disk is full" or "the file is not a registry database"; empty when none was.
std::string DescribeLastRegistryFailure();

// Why a save to the registry database may have failed, as far as can be told without writing:
// a file or folder that cannot be written, a full disk, a file that is not a registry database,
// another process holding the write lock. Described as above; empty when nothing shows.
std::string RegistryWriteObstacle();

}  // namespace flanger::platform
