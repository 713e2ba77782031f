// The causes of registry failures in the SQLite store; see registry_failure.h.
#include "platform/posix/registry_failure.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/posix/registry_location.h"
#include "platform/posix/store_wait.h"

namespace flanger::platform {
namespace {

struct Failure {
    std::string database;
    int sqliteCode = SQLITE_OK;
    int systemError = 0;
};

thread_local Failure lastFailure;

std::string Cause(int sqliteCode, int systemError) {
    if (sqliteCode == kLaterFormat) return "the registry database was written by a later version";
    if (systemError == ENOSPC || systemError == EDQUOT) return "the disk is full";
    const auto waited = std::chrono::duration_cast<std::chrono::seconds>(posix::StoreWait());
    switch (sqliteCode & 0xFF) {
        case SQLITE_FULL:
            return "the disk is full";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "another process held the registry database past " +
                   std::to_string(waited.count()) + " s";
        case SQLITE_NOTADB:
            return "the file is not a registry database";
        case SQLITE_CORRUPT:
            return "the registry database is damaged";
        case SQLITE_NOMEM:
            return "out of memory";
        case SQLITE_READONLY:
            return "the registry database or its log cannot be written" +
                   (systemError != 0 ? ": " + std::string(std::strerror(systemError)) : "");
        default:
            // An input/output error, a file that cannot be opened: the system's reason says
            // more than SQLite's summary.
            return systemError != 0 ? std::strerror(systemError) : sqlite3_errstr(sqliteCode);
    }
}

std::string Describe(const std::string& database, const std::string& cause) {
    return "the registry database '" + database + "': " + cause;
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace

void RecordRegistryFailure(const std::string& database, int sqliteCode, int systemError) {
    lastFailure = {database, sqliteCode, systemError};
}

std::string DescribeLastRegistryFailure() {
    if (lastFailure.sqliteCode == SQLITE_OK) return {};
    return Describe(lastFailure.database, Cause(lastFailure.sqliteCode, lastFailure.systemError));
}

std::string RegistryWriteObstacle() {
    const std::string path = RegistryDatabasePath();
    if (path.empty()) return "no home folder to keep the registry database in";
    struct stat status {};
    const bool exists = stat(path.c_str(), &status) == 0;
    // Missing folders are made by the save; one that is a file stops it.
    if (struct stat folder{}; !exists) {
        const bool found = stat(Folder(path).c_str(), &folder) == 0;
        if (!found && errno != ENOENT) return Describe(path, std::strerror(errno));
        if (found && !S_ISDIR(folder.st_mode)) return Describe(path, std::strerror(ENOTDIR));
    }
    if (access(exists ? path.c_str() : Folder(path).c_str(), W_OK) != 0 && errno != ENOENT) {
        return Describe(path, std::strerror(errno));
    }
    struct statvfs space {};
    if (statvfs(Folder(path).c_str(), &space) == 0 && space.f_bavail == 0) {
        return Describe(path, "the disk is full");
    }
    if (!exists) return {};
    sqlite3* connection = nullptr;
    int code = sqlite3_open_v2(path.c_str(), &connection, SQLITE_OPEN_READWRITE, nullptr);
    // Without waiting: a save has just waited its time for the write lock.
    if (code == SQLITE_OK)
        code = sqlite3_exec(connection, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    const int systemError = sqlite3_system_errno(connection);
    if (code == SQLITE_OK) {
        sqlite3_exec(connection, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlite3_close(connection);
    return code == SQLITE_OK ? std::string() : Describe(path, Cause(code, systemError));
}

}  // namespace flanger::platform
