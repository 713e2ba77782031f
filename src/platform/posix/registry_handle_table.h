// The keys a process has open: for each handle, its database, key, rights, and the values set
// through it that wait for its close.
//
// Handles are numbers this table hands out, not addresses, so a stale or made-up handle is
// looked up and refused, never dereferenced. A number is not handed out again until the
// counter wraps (after 2^30 opens on a 32-bit target), so a closed handle stays invalid.
// Not thread-safe: the caller serialises all use.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/posix/registry_database.h"
#include "platform/registry.h"

namespace flanger::platform {

struct OpenKey {
    std::shared_ptr<RegistryDatabase> database;  // shared with the keys opened below this one
    std::int64_t keyId = 0;
    std::uint32_t rights = 0;            // kRegistry* rights bits
    std::vector<RegistryValue> pending;  // set through this handle, written at its close
    bool holdsSnapshot = false;          // HoldRegistrySnapshot, released at its close
};

class RegistryHandleTable {
public:
    // A new handle for `key`. Throws std::bad_alloc, and then `key` is dropped.
    RegistryKey Add(OpenKey key);

    // The key of a live handle of this process; null for anything else.
    OpenKey* Find(RegistryKey handle);

    // Takes the key of a live handle out of the table into `removed`; false when there is none.
    bool Remove(RegistryKey handle, OpenKey& removed);

private:
    // After fork() the parent's handles are not the child's: SQLite connections must not cross
    // a fork, so the child starts with an empty table.
    void ForgetParentsHandles();

    // Handles look like Windows ones (multiples of four), which keeps them apart from null and
    // from the predefined roots, 0x80000000 to 0x8000000F here.
    static constexpr std::uintptr_t kFirstHandle = 0x1000;
    static constexpr std::uintptr_t kHandleStep = 4;

    std::unordered_map<std::uintptr_t, OpenKey> Keys;
    std::uintptr_t NextHandle = kFirstHandle;
    pid_t Owner = -1;
};

}  // namespace flanger::platform
