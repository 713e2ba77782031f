// File updates under an advisory lock; see locked_file_update.h.
//
// The lock sits on the file itself. Because an update may rename a new inode over the name, a
// writer that opened the old inode and then waited for its lock would otherwise edit a file
// that is no longer there: so after locking it checks that the name still leads to the locked
// inode (device and inode number) and starts over when it does not. While one writer holds the
// lock of the current inode, no other can get past that check, which also makes it safe for the
// lock holder to remove temporaries that killed writers left behind.
#include "platform/posix/locked_file_update.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/posix/in_place_update.h"
#include "platform/posix/link_resolution.h"
#include "platform/posix/store_wait.h"

namespace flanger::platform::posix {
namespace {

// A writer starts over only when another one replaced the file in between; this bound only
// guards against a file system whose inode numbers are not stable.
constexpr int kMaxLockAttempts = 10000;
// ".<name>.XXXXXX.tmp" must stay within NAME_MAX (255); longer names are cut in the temporary.
constexpr std::size_t kMaxNameInTemporary = 240;
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr std::size_t kTemporaryRandomLength = 6;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : Fd(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return Fd; }
    bool Valid() const { return Fd >= 0; }
    // Closes now and reports whether the close succeeded; a delayed write error shows here.
    bool Close() {
        const int fd = Fd;
        Fd = -1;
        return fd < 0 || close(fd) == 0;
    }
    void Reset(int fd = -1) {
        Close();
        Fd = fd;
    }

private:
    int Fd;
};

std::optional<std::string> ReadAll(int fd, off_t sizeHint) {
    std::string bytes;
    bytes.reserve(sizeHint > 0 ? static_cast<std::size_t>(sizeHint) : 0);
    char chunk[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = pread(fd, chunk, sizeof chunk, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return bytes;
        bytes.append(chunk, static_cast<std::size_t>(n));
        offset += n;
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

struct PathParts {
    std::string Directory;  // "." for a bare name
    std::string Name;
};

PathParts SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

bool IsTemporaryOf(std::string_view entry, std::string_view name) {
    const std::size_t length =
        1 + name.size() + 1 + kTemporaryRandomLength + kTemporarySuffix.size();
    return entry.size() == length && entry.front() == '.' && entry.substr(1).starts_with(name) &&
           entry[1 + name.size()] == '.' && entry.ends_with(kTemporarySuffix);
}

// Removes ".<name>.XXXXXX.tmp" files that killed writers left in `directory`. Only called with
// the file's lock held and verified, when no live writer of this file has a temporary open.
void RemoveStaleTemporaries(const PathParts& parts) {
    // A cut name could be shared by another file's temporaries, which may be in use.
    if (parts.Name.size() > kMaxNameInTemporary) return;
    DIR* directory = opendir(parts.Directory.c_str());
    if (directory == nullptr) return;
    while (const dirent* entry = readdir(directory)) {
        if (IsTemporaryOf(entry->d_name, parts.Name)) unlinkat(dirfd(directory), entry->d_name, 0);
    }
    closedir(directory);
}

// The lock of the file that the name currently leads to.
struct LockedFile {
    FileDescriptor Fd;
    struct stat Status {};
};

enum class Attempt { Locked, Missing, Retry, Failed };

Attempt TryLock(const std::string& path, LockedFile& locked) {
    // O_NOFOLLOW: the name was resolved to a file; a link appearing there since is a change
    // to resolve again, not something to write through. O_NONBLOCK keeps a FIFO from blocking
    // the open; it is refused below.
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 && errno == ENOENT) return Attempt::Missing;
    if (fd < 0) return errno == ELOOP ? Attempt::Retry : Attempt::Failed;
    locked.Fd.Reset(fd);
    if (fstat(locked.Fd.Get(), &locked.Status) != 0 || !S_ISREG(locked.Status.st_mode)) {
        return Attempt::Failed;
    }
    if (LockWithinStoreWait(locked.Fd.Get()) != LockResult::Locked) return Attempt::Failed;
    struct stat current {};
    if (lstat(path.c_str(), &current) != 0 || current.st_dev != locked.Status.st_dev ||
        current.st_ino != locked.Status.st_ino) {
        return Attempt::Retry;
    }
    // The link count and owner as they are now that no other writer can change the file.
    locked.Status = current;
    return Attempt::Locked;
}

// A new temporary ".<name>.XXXXXX.tmp" next to the file, created with `mode` less the umask.
int CreateTemporary(const PathParts& parts, mode_t mode, std::string& temporary) {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[kTemporaryRandomLength];
        if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
        temporary = parts.Directory + "/." + parts.Name.substr(0, kMaxNameInTemporary) + ".";
        for (const unsigned char r : random) temporary += kLetters[r % (sizeof kLetters - 1)];
        temporary += kTemporarySuffix;
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

void SyncFolder(const PathParts& parts) {
    // A rename is only durable once its directory is; the new bytes are in place either way, so
    // a failure here does not make the update fail.
    FileDescriptor directory(open(parts.Directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Valid()) fsync(directory.Get());
}

// Writes and flushes `bytes` into the open temporary; false, with the temporary gone, when that
// fails.
bool FillTemporary(FileDescriptor& fd, const std::string& temporary, std::string_view bytes) {
    const bool written = WriteAll(fd.Get(), bytes) && fsync(fd.Get()) == 0;
    if (fd.Close() && written) return true;
    unlink(temporary.c_str());
    return false;
}

// Makes the missing file `path` appear whole, holding `bytes`: a temporary renamed to the name
// only while nothing is there. So no reader ever sees the file empty or half written, a kill
// leaves no file (at worst a temporary, which the next update removes), and the file is never
// created merely to be locked. Retry when another writer made the file first.
Attempt CreateByRename(const std::string& path, const PathParts& parts, std::string_view bytes) {
    std::string temporary;
    FileDescriptor fd(CreateTemporary(parts, 0666, temporary));
    if (!fd.Valid() || !FillTemporary(fd, temporary, bytes)) return Attempt::Failed;
    int placed = renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (placed != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without that rename: a hard link is made only where no name is either.
        placed = link(temporary.c_str(), path.c_str());
        const int reason = errno;
        unlink(temporary.c_str());
        errno = reason;
        if (placed == 0) temporary.clear();
    }
    if (placed != 0) {
        const int reason = errno;
        if (!temporary.empty()) unlink(temporary.c_str());
        // Another writer made the file first, or the holder of its lock removed our temporary
        // as stale: the update starts over on the file that is there now.
        return reason == EEXIST || reason == ENOENT ? Attempt::Retry : Attempt::Failed;
    }
    SyncFolder(parts);
    // Temporaries of killed writers are removed under the new file's lock, as by any update.
    LockedFile locked;
    if (TryLock(path, locked) == Attempt::Locked) RemoveStaleTemporaries(parts);
    return Attempt::Locked;
}

// Writes `bytes` to a new temporary next to the file, with the file's permissions and group,
// and renames it over `path`. On failure the temporary is gone and the file unchanged.
bool ReplaceFile(const std::string& path, const PathParts& parts, const struct stat& status,
                 std::string_view bytes) {
    std::string temporary;
    FileDescriptor fd(CreateTemporary(parts, 0600, temporary));
    if (!fd.Valid()) return false;

    // Only a file of the writer's own is replaced, but its group may be another (a folder's
    // set-group-id bit). Group first: a change of group may clear mode bits that fchmod then
    // sets. A group the writer is not in stays the writer's.
    if (status.st_gid != getegid()) {
        [[maybe_unused]] const int ignored =
            fchown(fd.Get(), static_cast<uid_t>(-1), status.st_gid);
    }
    if (fchmod(fd.Get(), status.st_mode & 0777) != 0) {
        fd.Close();
        unlink(temporary.c_str());
        return false;
    }
    if (!FillTemporary(fd, temporary, bytes)) return false;
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    SyncFolder(parts);
    return true;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const char* path) {
    FileDescriptor fd(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (!fd.Valid() || fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return ReadAll(fd.Get(), status.st_size);
}

bool UpdateFileUnderLock(const char* path, const FileEdit& edit) {
    for (int attempt = 0; attempt < kMaxLockAttempts; ++attempt) {
        const LinkTarget target = ResolveLinksForWrite(path);
        if (target.Trouble != LinkTarget::Problem::None) return false;
        const PathParts parts = SplitPath(target.Path);
        if (parts.Name.empty()) return false;

        LockedFile locked;
        const Attempt result = TryLock(target.Path, locked);
        if (result == Attempt::Retry) continue;
        if (result == Attempt::Failed) return false;
        if (result == Attempt::Missing) {
            const std::optional<std::string> created = edit(std::string());
            if (!created) return false;
            const Attempt creation = CreateByRename(target.Path, parts, *created);
            if (creation == Attempt::Retry) continue;
            return creation == Attempt::Locked;
        }

        // From here on the lock is ours.
        const std::optional<std::string> current = ReadAll(locked.Fd.Get(), locked.Status.st_size);
        if (!current) return false;
        const std::optional<std::string> updated = edit(*current);
        if (!updated) return false;
        if (*updated == *current) return true;
        if (!MayReplaceByRename(parts.Directory, locked.Status)) {
            return RewriteInPlace(locked.Fd.Get(), *current, *updated);
        }
        RemoveStaleTemporaries(parts);
        return ReplaceFile(target.Path, parts, locked.Status, *updated);
    }
    return false;
}

}  // namespace flanger::platform::posix
