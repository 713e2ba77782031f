// The registry's SQLite database: schema, opening, and the transactions of the registry calls.
#include "platform/posix/registry_database.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>
#include <utility>

#include "platform/posix/registry_failure.h"
#include "platform/posix/registry_location.h"
#include "platform/posix/store_wait.h"
#include "platform/registry.h"

namespace flanger::platform {
namespace {

// A transaction finds the database busy while another connection holds its write lock, and
// also, without SQLite having waited, while another process recovers a write-ahead log or
// rebuilds its index. Both waits go on while other savers' commits keep changing the database
// files, and end after the store wait (store_wait.h) without a change, as profile files' do.
// Saving a preset holds the write lock for a few milliseconds, or a second on a loaded disk.
constexpr auto kLongestPause = std::chrono::milliseconds(50);

// The format of the tables below, in the file's user_version. A later format is refused rather
// than misread.
constexpr int kSchemaVersion = 1;

constexpr const char* kCreateSchema = R"sql(
CREATE TABLE registry_key (
    id INTEGER PRIMARY KEY,
    parent_id INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE (parent_id, name)
);
CREATE TABLE registry_value (
    key_id INTEGER NOT NULL REFERENCES registry_key (id),
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL CHECK (type BETWEEN 0 AND 4294967295),
    data BLOB NOT NULL CHECK (typeof(data) = 'blob'),
    PRIMARY KEY (key_id, name)
) WITHOUT ROWID;
INSERT INTO registry_key (id, parent_id, name) VALUES
    (1, 0, 'HKEY_CLASSES_ROOT'),
    (2, 0, 'HKEY_CURRENT_USER'),
    (3, 0, 'HKEY_LOCAL_MACHINE'),
    (4, 0, 'HKEY_USERS'),
    (5, 0, 'HKEY_CURRENT_CONFIG');
PRAGMA user_version = 1;
)sql";

bool IsBusy(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

long ToRegistryResult(int code, bool writing) {
    switch (code & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return kRegistrySuccess;
        case SQLITE_NOMEM:
            return kRegistryOutOfMemory;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return kRegistryBadDatabase;
        default:
            return writing ? kRegistryCannotWrite : kRegistryCannotRead;
    }
}

// A prepared statement that remembers the first failure of its preparation or bindings, so a
// caller checks once, at Step.
class Statement {
public:
    Statement(sqlite3* connection, const char* sql) {
        Failure = sqlite3_prepare_v2(connection, sql, -1, &Handle, nullptr);
    }
    ~Statement() { sqlite3_finalize(Handle); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Reset() {
        if (Failure == SQLITE_OK) {
            sqlite3_reset(Handle);
            sqlite3_clear_bindings(Handle);
        }
    }

    void BindInteger(int index, std::int64_t value) {
        if (Failure == SQLITE_OK) {
            Failure = sqlite3_bind_int64(Handle, index, value);
        }
    }

    // Text is bound by length, so a name is stored with exactly its bytes. An empty view may
    // have no data pointer, which SQLite would take for NULL.
    void BindText(int index, std::string_view text) {
        if (Failure == SQLITE_OK) {
            Failure = sqlite3_bind_text(Handle, index, text.empty() ? "" : text.data(),
                                        static_cast<int>(text.size()), SQLITE_STATIC);
        }
    }

    // A zero-length blob is bound as such: sqlite3_bind_blob with no bytes would store NULL.
    void BindBlob(int index, const std::vector<unsigned char>& bytes) {
        if (Failure != SQLITE_OK) {
            return;
        }
        Failure = bytes.empty() ? sqlite3_bind_zeroblob(Handle, index, 0)
                                : sqlite3_bind_blob(Handle, index, bytes.data(),
                                                    static_cast<int>(bytes.size()), SQLITE_STATIC);
    }

    // SQLITE_ROW, SQLITE_DONE or the failure.
    int Step() { return Failure != SQLITE_OK ? Failure : sqlite3_step(Handle); }

    sqlite3_stmt* Get() const { return Handle; }

private:
    sqlite3_stmt* Handle = nullptr;
    int Failure = SQLITE_OK;
};

// What the database files look like now: a commit changes the log, or without a log the file.
std::array<long long, 8> StampOf(const std::string& path) {
    std::array<long long, 8> stamp{};
    struct stat status {};
    for (int i = 0; i < 2; ++i) {
        if (stat(i == 0 ? path.c_str() : (path + "-wal").c_str(), &status) != 0) continue;
        stamp[i * 4 + 0] = static_cast<long long>(status.st_ino);
        stamp[i * 4 + 1] = static_cast<long long>(status.st_size);
        stamp[i * 4 + 2] = static_cast<long long>(status.st_mtim.tv_sec);
        stamp[i * 4 + 3] = static_cast<long long>(status.st_mtim.tv_nsec);
    }
    return stamp;
}

// A log or index file of the database that its owner cannot write blocks every save: SQLite
// then opens the database read-only. Earlier versions left such files behind after reading a
// database whose file was read-only at the time (SQLite gives them the database file's mode);
// once the database is writable again, they take its mode back.
void MakeCompanionsWritable(const std::string& path) {
    struct stat database {};
    if (stat(path.c_str(), &database) != 0) {
        return;
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string companion = path + suffix;
        struct stat status {};
        if (stat(companion.c_str(), &status) == 0 && status.st_uid == geteuid() &&
            access(companion.c_str(), W_OK) != 0) {
            chmod(companion.c_str(), database.st_mode & 0777);
        }
    }
}

// The name SQLite opens a store by. A database file this process cannot write cannot have been
// written by it, nor recovered by it: with no log beside it, it is read as it is (immutable), so
// that the read creates no log or index file of the file's read-only mode for later writers to
// trip over. With a log, SQLite needs it, and an index file made now is repaired by the next
// writer (MakeCompanionsWritable).
std::string OpenName(const std::string& path, bool writing) {
    struct stat log {};
    if (writing || access(path.c_str(), W_OK) == 0 ||
        (stat((path + "-wal").c_str(), &log) == 0 && log.st_size > 0)) {
        return path;
    }
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            static const char kHex[] = "0123456789ABCDEF";
            uri += {'%', kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

}  // namespace

long RegistryDatabase::Open(const std::string& path, Mode mode,
                            std::unique_ptr<RegistryDatabase>& result) {
    result.reset();
    const bool writing = mode == Mode::Write;
    if (path.empty()) {
        return writing ? kRegistryCannotWrite : kRegistryFileNotFound;
    }
    if (writing) {
        if (!MakeParentFolders(path)) {
            RecordRegistryFailure(path, SQLITE_CANTOPEN, errno);
            return kRegistryCannotWrite;
        }
        // Made here so that it is the owner's only: SQLite would create it with the umask's
        // mode, and gives its -wal and -shm files the mode of the database file.
        const int file = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
        if (file < 0) {
            RecordRegistryFailure(path, SQLITE_CANTOPEN, errno);
            return kRegistryCannotWrite;
        }
        close(file);
    }
    MakeCompanionsWritable(path);
    // Readers open for writing too where they may: only a connection that can write recovers
    // the log or journal of a writer that was killed.
    const std::string name = OpenName(path, writing);
    // Copied before the connection exists: a copy that runs out of memory then leaks nothing.
    std::string ownPath = path;
    sqlite3* connection = nullptr;
    const int code = sqlite3_open_v2(
        name.c_str(), &connection,
        (name == path ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) |
            (writing ? SQLITE_OPEN_CREATE : 0),
        nullptr);
    if (connection == nullptr) {
        return kRegistryOutOfMemory;
    }
    std::unique_ptr<RegistryDatabase> database(new (std::nothrow)
                                                   RegistryDatabase(connection, std::move(ownPath)));
    if (database == nullptr) {
        sqlite3_close(connection);
        return kRegistryOutOfMemory;
    }
    if (code != SQLITE_OK) {
        return !writing && (code & 0xFF) == SQLITE_CANTOPEN ? kRegistryFileNotFound
                                                            : database->Result(code, writing);
    }
    const long prepared = database->Prepare(mode);
    if (prepared == kRegistrySuccess) {
        result = std::move(database);
    }
    return prepared;
}

RegistryDatabase::RegistryDatabase(sqlite3* connection, std::string path)
    : Connection(connection), Path(std::move(path)), Owner(getpid()) {
    sqlite3_busy_handler(Connection, WhileBusy, this);
}

int RegistryDatabase::WhileBusy(void* database, int count) {
    auto* self = static_cast<RegistryDatabase*>(database);
    // Outside RetryWhileBusy every wait of SQLite's is one of its own.
    if (count == 0 && !self->InOperation) self->Waiting.reset();
    return self->KeepWaiting() ? 1 : 0;
}

bool RegistryDatabase::KeepWaiting() {
    if (!Waiting) Waiting.emplace(StampOf(Path));
    const auto now = StampOf(Path);
    if (now != Waiting->Seen) {
        Waiting->Seen = now;
        Waiting->Deadline.SawProgress();
    }
    if (Waiting->Deadline.Over()) return false;
    Waiting->Deadline.Pause(kLongestPause);
    return true;
}

template <typename Attempt>
int RegistryDatabase::RetryWhileBusy(Attempt&& attempt) {
    // One wait for the whole operation, which SQLite's waits inside its attempts share.
    Waiting.reset();
    InOperation = true;
    struct Done {
        RegistryDatabase& Database;
        ~Done() { Database.InOperation = false; }
    } done{*this};
    int code = attempt();
    while (IsBusy(code) && KeepWaiting()) code = attempt();
    return code;
}

long RegistryDatabase::Result(int code, bool writing) {
    const long result = ToRegistryResult(code, writing);
    if (result != kRegistrySuccess) {
        RecordRegistryFailure(Path, code, sqlite3_system_errno(Connection));
    }
    return result;
}

RegistryDatabase::~RegistryDatabase() {
    // A child of fork() shares the parent's locks and log index through SQLite's per-process
    // state; closing the copy there could release or checkpoint what the parent still uses.
    if (getpid() == Owner) {
        sqlite3_close(Connection);
    }
}

std::int64_t RegistryDatabase::RootKeyId(Root root) {
    // The ids of the rows that kCreateSchema inserts, in the order of Root.
    return static_cast<std::int64_t>(root) + 1;
}

long RegistryDatabase::Prepare(Mode mode) {
    const bool writing = mode == Mode::Write;
    // The file may come from anywhere the environment points: refuse to run SQL functions
    // named in its schema and to let it rewrite its own schema.
    sqlite3_db_config(Connection, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(Connection, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    if (writing) {
        if (sqlite3_db_readonly(Connection, "main") == 1) {
            return Result(SQLITE_READONLY, true);
        }
        // The journal mode is kept in the file, so setting it once makes every later
        // connection use the log. A file system without shared memory keeps the rollback
        // journal, which is as safe, only slower for concurrent readers.
        const int code = RetryWhileBusy([&] { return Execute("PRAGMA journal_mode = WAL"); });
        if (code != SQLITE_OK) {
            return Result(code, true);
        }
    }
    // A saved preset survives a power cut once the save has returned.
    int code = Execute("PRAGMA synchronous = FULL");
    if (code != SQLITE_OK) {
        return Result(code, writing);
    }

    // Read first: only the first use of a file takes the write lock to make the tables.
    int version = 0;
    const auto readVersion = [&] {
        Statement query(Connection, "PRAGMA user_version");
        const int step = query.Step();
        if (step == SQLITE_ROW) {
            version = sqlite3_column_int(query.Get(), 0);
        }
        return step == SQLITE_ROW ? SQLITE_OK : step;
    };
    code = RunTransaction(false, readVersion);
    if (code == SQLITE_OK && version == 0 && writing) {
        // Again under the write lock: another process may have made the tables meanwhile.
        code = RunTransaction(true, [&] {
            const int read = readVersion();
            if (read != SQLITE_OK || version != 0) {
                return read;
            }
            version = kSchemaVersion;
            return Execute(kCreateSchema);
        });
    }
    if (code != SQLITE_OK) {
        return Result(code, writing);
    }
    if (version == 0) {
        return kRegistryFileNotFound;  // an empty file: nothing has been stored yet
    }
    if (version != kSchemaVersion) {
        RecordRegistryFailure(Path, kLaterFormat, 0);
        return kRegistryBadDatabase;
    }
    return kRegistrySuccess;
}

long RegistryDatabase::HoldSnapshot() {
    if (SnapshotHolds == 0) {
        const int code = RetryWhileBusy([&] {
            int begun = Execute("BEGIN");
            // A deferred transaction takes its view at its first read, not at BEGIN.
            if (begun == SQLITE_OK) begun = Execute("SELECT 1 FROM registry_key LIMIT 1");
            if (begun != SQLITE_OK && sqlite3_get_autocommit(Connection) == 0) {
                Execute("ROLLBACK");
            }
            return begun;
        });
        if (code != SQLITE_OK) {
            return Result(code, false);
        }
    }
    ++SnapshotHolds;
    return kRegistrySuccess;
}

void RegistryDatabase::ReleaseSnapshot() {
    if (SnapshotHolds > 0 && --SnapshotHolds == 0) {
        Execute("ROLLBACK");  // it only read
    }
}

template <typename Body>
int RegistryDatabase::RunTransaction(bool writes, Body&& body) {
    if (SnapshotHolds > 0) {
        // Reads join the held transaction; a write could not begin inside it, and must not end
        // it.
        return writes ? SQLITE_READONLY : body();
    }
    return RetryWhileBusy([&] {
        // IMMEDIATE takes the write lock now, so the busy wait happens here rather than at a
        // read lock's upgrade, where SQLite could not wait without risking a deadlock.
        int code = Execute(writes ? "BEGIN IMMEDIATE" : "BEGIN");
        if (code != SQLITE_OK) {
            return code;
        }
        try {
            code = body();
        } catch (...) {
            // Out of memory while copying a result: leave no transaction open behind it.
            Execute("ROLLBACK");
            throw;
        }
        if (code == SQLITE_OK) {
            code = Execute("COMMIT");
        }
        if (code != SQLITE_OK && sqlite3_get_autocommit(Connection) == 0) {
            Execute("ROLLBACK");
        }
        return code;
    });
}

int RegistryDatabase::Execute(const char* sql) {
    return sqlite3_exec(Connection, sql, nullptr, nullptr, nullptr);
}

long RegistryDatabase::FindKey(std::int64_t start, std::span<const std::string_view> names,
                               std::int64_t& id) {
    bool found = true;
    const int code = RunTransaction(false, [&] {
        Statement find(Connection,
                       "SELECT id FROM registry_key WHERE parent_id = ?1 AND name = ?2");
        std::int64_t current = start;
        found = true;
        for (const std::string_view name : names) {
            find.Reset();
            find.BindInteger(1, current);
            find.BindText(2, name);
            const int step = find.Step();
            if (step == SQLITE_DONE) {
                found = false;
                break;
            }
            if (step != SQLITE_ROW) {
                return step;
            }
            current = sqlite3_column_int64(find.Get(), 0);
        }
        id = current;
        return SQLITE_OK;
    });
    if (code != SQLITE_OK) {
        return Result(code, false);
    }
    return found ? kRegistrySuccess : kRegistryFileNotFound;
}

long RegistryDatabase::CreateKey(std::int64_t start, std::span<const std::string_view> names,
                                 bool mayCreate, std::int64_t& id) {
    // Saving to an existing key is the common case; it needs no write lock.
    const long existing = FindKey(start, names, id);
    if (existing != kRegistryFileNotFound) {
        return existing;
    }
    if (!mayCreate) {
        return kRegistryAccessDenied;
    }
    // Walk again under the write lock: another process may have made some of the keys since.
    const int code = RunTransaction(true, [&] {
        Statement find(Connection,
                       "SELECT id FROM registry_key WHERE parent_id = ?1 AND name = ?2");
        Statement insert(Connection, "INSERT INTO registry_key (parent_id, name) VALUES (?1, ?2)");
        std::int64_t current = start;
        for (const std::string_view name : names) {
            find.Reset();
            find.BindInteger(1, current);
            find.BindText(2, name);
            int step = find.Step();
            if (step == SQLITE_ROW) {
                current = sqlite3_column_int64(find.Get(), 0);
                continue;
            }
            if (step != SQLITE_DONE) {
                return step;
            }
            insert.Reset();
            insert.BindInteger(1, current);
            insert.BindText(2, name);
            step = insert.Step();
            if (step != SQLITE_DONE) {
                return step;
            }
            current = sqlite3_last_insert_rowid(Connection);
        }
        id = current;
        return SQLITE_OK;
    });
    return Result(code, true);
}

long RegistryDatabase::ReadValue(std::int64_t key, std::string_view name, RegistryValue& value) {
    bool found = false;
    const int code = RunTransaction(false, [&] {
        Statement read(Connection,
                       "SELECT type, data FROM registry_value WHERE key_id = ?1 AND name = ?2");
        read.BindInteger(1, key);
        read.BindText(2, name);
        const int step = read.Step();
        found = step == SQLITE_ROW;
        if (!found) {
            return step == SQLITE_DONE ? SQLITE_OK : step;
        }
        value.type = static_cast<std::uint32_t>(sqlite3_column_int64(read.Get(), 0));
        // column_blob before column_bytes, as SQLite asks; a zero-length blob has no pointer.
        const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(read.Get(), 1));
        const int count = sqlite3_column_bytes(read.Get(), 1);
        value.data.assign(bytes, bytes == nullptr ? bytes : bytes + count);
        return SQLITE_OK;
    });
    if (code != SQLITE_OK) {
        return Result(code, false);
    }
    return found ? kRegistrySuccess : kRegistryFileNotFound;
}

long RegistryDatabase::WriteValues(std::int64_t key, std::span<const RegistryValue> values) {
    const int code = RunTransaction(true, [&] {
        Statement upsert(Connection,
                         "INSERT INTO registry_value (key_id, name, type, data) "
                         "VALUES (?1, ?2, ?3, ?4) ON CONFLICT (key_id, name) "
                         "DO UPDATE SET type = excluded.type, data = excluded.data");
        for (const RegistryValue& value : values) {
            upsert.Reset();
            upsert.BindInteger(1, key);
            upsert.BindText(2, value.name);
            upsert.BindInteger(3, value.type);
            upsert.BindBlob(4, value.data);
            const int step = upsert.Step();
            if (step != SQLITE_DONE) {
                return step;
            }
        }
        return SQLITE_OK;
    });
    return Result(code, true);
}

long RegistryDatabase::SubKeyName(std::int64_t key, std::uint32_t index, std::string& name) {
    bool found = false;
    const int code = RunTransaction(false, [&] {
        Statement list(Connection,
                       "SELECT name FROM registry_key WHERE parent_id = ?1 ORDER BY name "
                       "LIMIT 1 OFFSET ?2");
        list.BindInteger(1, key);
        list.BindInteger(2, index);
        const int step = list.Step();
        found = step == SQLITE_ROW;
        if (!found) {
            return step == SQLITE_DONE ? SQLITE_OK : step;
        }
        name.assign(reinterpret_cast<const char*>(sqlite3_column_text(list.Get(), 0)),
                    static_cast<std::size_t>(sqlite3_column_bytes(list.Get(), 0)));
        return SQLITE_OK;
    });
    if (code != SQLITE_OK) {
        return Result(code, false);
    }
    return found ? kRegistrySuccess : kRegistryNoMoreItems;
}

}  // namespace flanger::platform
