// The lock of a file's saves, on the file or, while it does not exist, on its folder.
#include "presets/save_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "audio/output_file.h"
#include "platform/posix/store_wait.h"
#include "presets/lock_holder.h"

namespace flanger::tool {
namespace {

// A saver starts over only when another one replaced or created the file in between; the bound
// only guards against a file system whose inode numbers are not stable.
constexpr int kMaxLockAttempts = 10000;

enum class Attempt { Locked, Retry, NothingToLock, Refused, Busy };

// Waits for the lock no longer than the module waits for a profile file's.
Attempt LockExclusively(int descriptor) {
    switch (platform::posix::LockWithinStoreWait(descriptor)) {
        case platform::posix::LockResult::Locked:
            return Attempt::Locked;
        case platform::posix::LockResult::Busy:
            return Attempt::Busy;
        case platform::posix::LockResult::Failed:
            break;
    }
    return Attempt::Refused;
}

// Locks the existing file at `target` and checks that the name still leads to it.
Attempt LockFile(const std::string& target, int& descriptor) {
    // O_NOFOLLOW: a link appearing at the resolved name is a change, not something to lock
    // through. Some file systems grant an exclusive flock only to a descriptor open for writing;
    // a file that may be replaced but not written (mode 0444) is locked through a read-only one.
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    descriptor = open(target.c_str(), O_RDWR | kFlags);
    if (descriptor < 0 && errno == EACCES) descriptor = open(target.c_str(), O_RDONLY | kFlags);
    if (descriptor < 0) return errno == ENOENT ? Attempt::Retry : Attempt::NothingToLock;
    struct stat locked {};
    if (fstat(descriptor, &locked) != 0 || !S_ISREG(locked.st_mode)) return Attempt::NothingToLock;
    if (const Attempt lock = LockExclusively(descriptor); lock != Attempt::Locked) return lock;
    struct stat current {};
    if (lstat(target.c_str(), &current) != 0 || current.st_dev != locked.st_dev ||
        current.st_ino != locked.st_ino) {
        return Attempt::Retry;
    }
    return Attempt::Locked;
}

// Locks the folder of `target`; with `whileMissing`, of a target that does not exist, and checks
// that it still does not.
Attempt LockFolder(const std::string& target, int& descriptor, bool whileMissing) {
    descriptor = open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return Attempt::NothingToLock;
    if (const Attempt lock = LockExclusively(descriptor); lock != Attempt::Locked) return lock;
    struct stat current {};
    if (whileMissing && (lstat(target.c_str(), &current) == 0 || errno != ENOENT)) {
        return Attempt::Retry;
    }
    return Attempt::Locked;
}

// A saver that found the file missing creates it under its folder's lock. One that finds the
// file there passes that lock first, so that it waits for such a save to end instead of locking
// the file the other is still saving. Nothing to lock on the folder leaves the file's lock.
Attempt PassFolderLock(const std::string& target) {
    int descriptor = -1;
    const Attempt result = LockFolder(target, descriptor, false);
    const int reason = errno;
    if (descriptor >= 0) close(descriptor);
    errno = reason;
    return result == Attempt::NothingToLock ? Attempt::Locked : result;
}

}  // namespace

std::optional<SaveLock> SaveLock::Acquire(const std::string& target, std::string& error) {
    return AcquireOn(target, error, false);
}

std::optional<SaveLock> SaveLock::AcquireFolder(const std::string& target, std::string& error) {
    return AcquireOn(target, error, true);
}

std::optional<SaveLock> SaveLock::AcquireOn(const std::string& target, std::string& error,
                                            bool folderOnly) {
    for (int attempt = 0; attempt < kMaxLockAttempts; ++attempt) {
        struct stat status {};
        const bool missing = lstat(target.c_str(), &status) != 0 && errno == ENOENT;
        const bool onFolder = folderOnly || missing;
        int descriptor = -1;
        const Attempt passed = onFolder ? Attempt::Locked : PassFolderLock(target);
        Attempt result = passed;
        if (passed == Attempt::Locked) {
            result = onFolder ? LockFolder(target, descriptor, !folderOnly)
                              : LockFile(target, descriptor);
        }
        if (result == Attempt::Locked) return SaveLock(descriptor);
        const int reason = errno;
        if (descriptor >= 0) close(descriptor);
        if (result == Attempt::NothingToLock) return Nothing();
        const std::string locked =
            onFolder || passed != Attempt::Locked ? DirectoryOf(target) : target;
        if (result == Attempt::Refused) {
            error = "cannot lock '" + locked + "' against other saves: " + std::strerror(reason);
            return std::nullopt;
        }
        if (result == Attempt::Busy) {
            error = "cannot lock '" + locked +
                    "' against other saves: " + DescribeHeldLock(LockHolder(locked).value_or(0));
            return std::nullopt;
        }
    }
    error = "cannot lock '" + target + "' against other saves: it keeps being replaced";
    return std::nullopt;
}

SaveLock::SaveLock(SaveLock&& other) noexcept : Descriptor(std::exchange(other.Descriptor, -1)) {}

SaveLock::~SaveLock() {
    if (Descriptor >= 0) close(Descriptor);
}

}  // namespace flanger::tool
