// The registry's SQLite database: its schema, and each registry operation as one transaction.
//
// Keys form one tree per predefined root in the table registry_key (id, parent, name); the
// roots are rows with fixed ids and parent 0. Values live in registry_value (key, name, type,
// data) with their type and bytes as given. Names use SQLite's NOCASE collation, which folds
// ASCII letters only and keeps the stored spelling, so "SOFTWARE" finds the key created as
// "Software" and creating it again adds no second key.
//
// Several processes may use one file: the database runs with a write-ahead log, every
// transaction that writes takes the write lock when it begins (BEGIN IMMEDIATE) so that two
// writers never deadlock upgrading read locks, and a transaction that still finds the database
// busy after SQLite's own wait is run again. Both waits go on while the database files keep
// changing and end the store wait of store_wait.h after the last change, after which the
// operation fails (kRegistryCannotWrite for a write, kRegistryCannotRead for a read).
// Results are registry.h codes.
// Not thread-safe: the caller serialises all use of one object. After fork() the child must not
// use an object of its parent; destroying one there leaves the connection alone.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/store_wait.h"

struct sqlite3;

namespace flanger::platform {

// One value as stored: its name, type number and bytes.
struct RegistryValue {
    std::string name;
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
};

class RegistryDatabase {
public:
    enum class Mode {
        ReadExisting,  // the file must exist and hold a store; nothing is created
        Write,         // folders, file and tables are created as needed; must be writable
    };

    // The predefined roots that have a tree. Their row ids are fixed by the schema.
    enum class Root { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

    // Opens the database file `path`. ReadExisting: a missing file or one that holds no store
    // yet gives kRegistryFileNotFound. Write: kRegistryCannotWrite when the folder or file cannot
    // be made or the file cannot be written. A file that is not a store of ours, or one of a
    // later format, gives kRegistryBadDatabase.
    static long Open(const std::string& path, Mode mode, std::unique_ptr<RegistryDatabase>& result);

    ~RegistryDatabase();
    RegistryDatabase(const RegistryDatabase&) = delete;
    RegistryDatabase& operator=(const RegistryDatabase&) = delete;

    static std::int64_t RootKeyId(Root root);

    // The key reached from the key `start` through `names`; kRegistryFileNotFound when one of
    // them is missing.
    long FindKey(std::int64_t start, std::span<const std::string_view> names, std::int64_t& id);

    // As FindKey, but makes the missing keys in one transaction when `mayCreate`; without it a
    // missing key gives kRegistryAccessDenied.
    long CreateKey(std::int64_t start, std::span<const std::string_view> names, bool mayCreate,
                   std::int64_t& id);

    // The type and data of the value `name` of the key `key` (value.name is not set);
    // kRegistryFileNotFound when it has none of that name.
    long ReadValue(std::int64_t key, std::string_view name, RegistryValue& value);

    // Stores all `values` in the key `key` in one transaction: all of them or none. A value that
    // exists is replaced and keeps the spelling of its name.
    long WriteValues(std::int64_t key, std::span<const RegistryValue> values);

    // The name of the `index`-th key below `key` in NOCASE order; kRegistryNoMoreItems past the
    // last one.
    long SubKeyName(std::int64_t key, std::uint32_t index, std::string& name);

    // Begins a read transaction that every read below shares until the last ReleaseSnapshot,
    // so that they all see one state of the store; holds may nest. While one is held, writes
    // fail (kRegistryCannotWrite).
    long HoldSnapshot();
    void ReleaseSnapshot();

private:
    RegistryDatabase(sqlite3* connection, std::string path);

    // The registry code of an SQLite result; a failure is recorded (registry_failure.h).
    long Result(int code, bool writing);

    long Prepare(Mode mode);

    // Runs `body` (which returns an SQLite result code) inside a transaction, again while the
    // database is busy, until the busy wait is over; a read transaction when `writes` is false.
    template <typename Body>
    int RunTransaction(bool writes, Body&& body);

    // Runs `attempt` (returning an SQLite code) again while it reports busy and KeepWaiting.
    template <typename Attempt>
    int RetryWhileBusy(Attempt&& attempt);
    // SQLite's busy handler.
    static int WhileBusy(void* database, int count);
    // Looks at the database files, then sleeps a little and gives true, or gives false when
    // they stayed as they were for the store wait.
    bool KeepWaiting();

    int Execute(const char* sql);

    struct Wait {
        explicit Wait(const std::array<long long, 8>& seen) : Seen(seen) {}
        std::array<long long, 8> Seen;  // the files' inodes, sizes and times at the last look
        posix::StoreWaitDeadline Deadline;
    };

    sqlite3* Connection;
    std::string Path;
    int SnapshotHolds = 0;
    std::optional<Wait> Waiting;  // of the operation under way, or of SQLite's own wait
    bool InOperation = false;     // within RetryWhileBusy
    pid_t Owner;  // the process that opened the connection; only it may close it
};

}  // namespace flanger::platform
