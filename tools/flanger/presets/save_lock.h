// The lock that a save of a file holds from reading the file to replacing it, so that saves of
// one file from several processes apply one after the other and none loses another's changes.
//
// A save may replace the file through a rename, so the lock cannot simply sit on the file: a saver
// that opened the old file and then waited for its lock would hold the lock of a file that is no
// longer there. So, as the module's profile writes do, a saver locks the file (an advisory flock,
// so no lock file is left beside it), checks that the name still leads to the locked file and
// starts over when it does not. A file that does not exist yet has no inode to lock: then the
// folder is locked, and the saver checks that the file is still missing. Only a saver holding
// that lock creates the file, and a saver that finds the file passes the folder's lock before it
// locks the file, so that it waits for a save that is creating the file; a rename over an
// existing name never leaves it missing. So every saver of one name meets every other at one of
// the two locks. Readers do not lock: a rename swaps whole files, and a file rewritten in place
// gets its new text in one write.
#pragma once

#include <optional>
#include <string>

namespace flanger::tool {

class SaveLock {
public:
    // Waits for the lock of `target` (a path without symbolic links, as ResolveOutputTarget
    // gives), at most the store wait (platform/posix/store_wait.h). When there is nothing to
    // lock, because the file cannot be opened or its folder does not exist, the lock is empty
    // and the save is left to find out and report the problem itself. nullopt with the reason in
    // `error` when the file system refuses the lock or another process held it past the wait
    // (naming that process where the kernel tells).
    static std::optional<SaveLock> Acquire(const std::string& target, std::string& error);
    // The same, but always on the folder of `target`: for a file that the module itself
    // updates under a lock on the file, which a lock of ours on it would keep waiting.
    static std::optional<SaveLock> AcquireFolder(const std::string& target, std::string& error);
    // A lock of nothing, for saves that need none.
    static SaveLock Nothing() { return SaveLock(-1); }

    SaveLock(SaveLock&& other) noexcept;
    SaveLock& operator=(SaveLock&&) = delete;
    ~SaveLock();  // releases the lock

private:
    static std::optional<SaveLock> AcquireOn(const std::string& target, std::string& error,
                                             bool folderOnly);
    explicit SaveLock(int descriptor) : Descriptor(descriptor) {}
    int Descriptor;  // -1: nothing was locked
};

}  // namespace flanger::tool
