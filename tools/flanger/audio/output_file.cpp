// Temporary output files, symbolic link chains and file identity.
#include "audio/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "audio/temporary_files.h"

namespace flanger::tool {
namespace {

// The kernel's own limit on links followed while resolving one name.
constexpr int kMaxLinkHops = 40;

std::string SystemError() { return std::strerror(errno); }

mode_t CurrentUmask() {
    // umask can only be read by setting it. Several threads create outputs at once, and one
    // reading while another has it set to 0 would get 0, so the reads take turns.
    static std::mutex turns;
    const std::lock_guard lock(turns);
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Whether the kernel would follow the link `link` (fs.protected_symlinks): in a sticky folder
// that everyone may write, such as /tmp, only a link of the follower's own or of the folder's
// owner. Links resolved here bypass the kernel's check, so it is made here, and a link that
// another user planted there cannot turn a write into one of a file the planter may not write.
bool KernelWouldFollow(const std::string& link, const struct stat& linkStatus) {
    struct stat folder {};
    if (stat(DirectoryOf(link).c_str(), &folder) != 0) return true;  // then nothing is written
    const bool sharedSticky = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !sharedSticky || linkStatus.st_uid == geteuid() || linkStatus.st_uid == folder.st_uid;
}

}  // namespace

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> ResolveOutputTarget(const std::string& path, std::string& error) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat status {};
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
        if (!KernelWouldFollow(current, status)) {
            error = "'" + current + "' is another user's symbolic link in the shared folder '" +
                    DirectoryOf(current) + "'; the system follows no such link, nor does flanger";
            return std::nullopt;
        }
        std::vector<char> link(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) +
                               1);
        const ssize_t length = readlink(current.c_str(), link.data(), link.size());
        if (length < 0 || static_cast<std::size_t>(length) >= link.size()) {
            error = "cannot read the link '" + current + "': " +
                    (length < 0 ? SystemError() : std::string("it changed while being read"));
            return std::nullopt;
        }
        std::string next(link.data(), static_cast<std::size_t>(length));
        if (!next.empty() && next.front() != '/' && current.find('/') != std::string::npos) {
            next = DirectoryOf(current) + "/" + next;
        }
        current = std::move(next);
    }
    error = "too many levels of symbolic links in '" + path + "'";
    return std::nullopt;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool IsStandardInput(const std::string& path) {
    struct stat input {};
    struct stat file {};
    if (fstat(STDIN_FILENO, &input) != 0 || stat(path.c_str(), &file) != 0) return false;
    return input.st_dev == file.st_dev && input.st_ino == file.st_ino;
}

PendingOutput::PendingOutput(std::string target, std::string temporary, int file)
    : Target(std::move(target)), Temporary(std::move(temporary)), File(file) {}

PendingOutput::~PendingOutput() {
    if (!Committed) {
        if (File >= 0) close(File);
        unlink(Temporary.c_str());
    }
    if (WriterLock >= 0) close(WriterLock);
}

std::unique_ptr<PendingOutput> PendingOutput::Create(const std::string& target,
                                                     std::string& error) {
    mode_t mode = 0666 & ~CurrentUmask();
    struct stat existing {};
    const bool replacing = stat(target.c_str(), &existing) == 0;
    if (replacing) {
        if (!S_ISREG(existing.st_mode)) {
            error = "'" + target + "' exists and is not a regular file";
            return nullptr;
        }
        // The rename needs only the folder's permission, but replacing a file is writing it:
        // one its user may not write (write-protected, or another's) is refused, as an
        // in-place write would be. AT_EACCESS asks for the effective ids that open would use.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            error = "cannot write '" + target + "': " + SystemError();
            return nullptr;
        }
        // Never set-user-id, set-group-id or sticky: a rewritten file is not a program to run
        // with its owner's rights.
        mode = existing.st_mode & 0777;
    }
    RemoveStaleTemporaries(target);
    // A hidden name in the same directory keeps the final rename on one file system.
    std::string pattern = TemporaryPattern(target);
    const int file = mkstemp(pattern.data());
    if (file < 0) {
        error = "cannot create a file in '" + DirectoryOf(target) + "' for '" + target +
                "': " + SystemError();
        return nullptr;
    }
    auto output = std::unique_ptr<PendingOutput>(new PendingOutput(target, pattern, file));
    output->WriterLock = LockTemporary(pattern);
    // The replaced file's owner and group, where this process may give them (root may, others
    // only a group of their own), as an in-place write keeps them; otherwise the file is the
    // writer's, as a new one would be.
    if (replacing && (existing.st_uid != geteuid() || existing.st_gid != getegid()) &&
        fchown(file, existing.st_uid, existing.st_gid) != 0) {
        [[maybe_unused]] const int ignored = fchown(file, static_cast<uid_t>(-1), existing.st_gid);
    }
    // mkstemp creates the file 0600.
    if (fchmod(file, mode) != 0) {
        error = "cannot set the permissions of '" + pattern + "': " + SystemError();
        return nullptr;
    }
    return output;
}

bool PendingOutput::Commit(std::string& error) {
    if (fsync(File) != 0) {
        error = "cannot write '" + Temporary + "': " + SystemError();
        return false;
    }
    const int file = File;
    File = -1;
    if (close(file) != 0) {
        error = "cannot write '" + Temporary + "': " + SystemError();
        return false;
    }
    if (rename(Temporary.c_str(), Target.c_str()) != 0) {
        error = "cannot replace '" + Target + "': " + SystemError();
        return false;
    }
    Committed = true;
    // The rename is a change of the folder, which reaches the disk only when the folder does:
    // until then a power cut could bring back the old file, or none.
    const int folder = open(DirectoryOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // (A file system that cannot sync folders says EINVAL; its renames are as durable as it is.)
    if (folder < 0 || (fsync(folder) != 0 && errno != EINVAL)) {
        error = "'" + Target + "' is written, but its folder cannot be synced to disk: " +
                SystemError();
        if (folder >= 0) close(folder);
        return false;
    }
    close(folder);
    return true;
}

}  // namespace flanger::tool
