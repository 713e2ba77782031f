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
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/posix/in_place_update.h"
#include "platform/posix/store_wait.h"

namespace flanger::platform::posix {
namespace {

// Enough for any chain of links a system resolves (Linux stops at 40).
constexpr int kMaxLinkHops = 40;
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

// The file a chain of symbolic links ends at, which is what an update replaces; the path itself
// when it is no link or names nothing yet. Nothing for a loop or an unreadable link.
std::optional<std::string> ResolveLinks(std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        std::string target(static_cast<std::size_t>(status.st_size) + 1, '\0');
        ssize_t length = 0;
        for (;;) {
            length = readlink(path.c_str(), target.data(), target.size());
            if (length < 0) return std::nullopt;
            if (static_cast<std::size_t>(length) < target.size()) break;
            target.resize(target.size() * 2);  // the link grew since lstat
        }
        target.resize(static_cast<std::size_t>(length));
        if (target.starts_with('/')) {
            path = target;
        } else {
            path = SplitPath(path).Directory + "/" + target;
        }
    }
    return std::nullopt;
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
    bool Created = false;  // we created it empty to have something to lock
};

enum class Attempt { Locked, Retry, Failed };

Attempt TryLock(const std::string& path, LockedFile& locked) {
    // O_NOFOLLOW: the name was resolved to a file; a link appearing there since is a change
    // to resolve again, not something to write through. O_NONBLOCK keeps a FIFO from blocking
    // the open; it is refused below.
    constexpr int kFlags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = open(path.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        // 0666: the permissions a new file gets, less the umask.
        fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno == EEXIST) return Attempt::Retry;
        locked.Created = fd >= 0;
    }
    if (fd < 0) return errno == ELOOP ? Attempt::Retry : Attempt::Failed;
    locked.Fd.Reset(fd);
    if (fstat(locked.Fd.Get(), &locked.Status) != 0 || !S_ISREG(locked.Status.st_mode)) {
        return Attempt::Failed;
    }
    // Without the lock a file we created cannot be removed safely (another writer may hold it
    // by now); a file system refusing locks, or a writer holding the lock past the wait, leaves
    // it empty, which reads as no entries.
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

// Writes `bytes` to a new temporary next to the file, with the file's permissions and group,
// and renames it over `path`. On failure the temporary is gone and the file unchanged.
bool ReplaceFile(const std::string& path, const PathParts& parts, const struct stat& status,
                 std::string_view bytes) {
    std::string temporary = parts.Directory + "/." + parts.Name.substr(0, kMaxNameInTemporary) +
                            "." + std::string(kTemporaryRandomLength, 'X') +
                            std::string(kTemporarySuffix);
    FileDescriptor fd(
        mkostemps(temporary.data(), static_cast<int>(kTemporarySuffix.size()), O_CLOEXEC));
    if (!fd.Valid()) return false;

    // Only a file of the writer's own is replaced, but its group may be another (a folder's
    // set-group-id bit). Group first: a change of group may clear mode bits that fchmod then
    // sets. A group the writer is not in stays the writer's.
    if (status.st_gid != getegid()) {
        [[maybe_unused]] const int ignored =
            fchown(fd.Get(), static_cast<uid_t>(-1), status.st_gid);
    }
    const bool written = WriteAll(fd.Get(), bytes) &&
                         fchmod(fd.Get(), status.st_mode & 07777) == 0 && fsync(fd.Get()) == 0;
    if (!fd.Close() || !written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename is only durable once the directory is; the new bytes are in place either way,
    // so a failure here does not make the update fail.
    FileDescriptor directory(open(parts.Directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Valid()) fsync(directory.Get());
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
        const std::optional<std::string> target = ResolveLinks(path);
        if (!target) return false;
        const PathParts parts = SplitPath(*target);
        if (parts.Name.empty()) return false;

        LockedFile locked;
        const Attempt result = TryLock(*target, locked);
        if (result == Attempt::Retry) continue;
        if (result == Attempt::Failed) return false;

        // From here on the lock is ours. A file we created empty only to lock it goes again
        // when the update fails, so that a failed write leaves no file where there was none.
        const auto fail = [&] {
            if (locked.Created) unlink(target->c_str());
            return false;
        };
        const std::optional<std::string> current = ReadAll(locked.Fd.Get(), locked.Status.st_size);
        if (!current) return fail();
        std::optional<std::string> updated;
        try {
            updated = edit(*current);
        } catch (...) {
            fail();
            throw;
        }
        if (!updated) return fail();
        if (!locked.Created && *updated == *current) return true;
        if (!MayReplaceByRename(parts.Directory, locked.Status)) {
            return RewriteInPlace(locked.Fd.Get(), *current, *updated) || fail();
        }
        RemoveStaleTemporaries(parts);
        if (!ReplaceFile(*target, parts, locked.Status, *updated)) return fail();
        return true;
    }
    return false;
}

}  // namespace flanger::platform::posix
