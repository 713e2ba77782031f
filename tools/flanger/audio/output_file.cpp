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
#include "platform/posix/link_resolution.h"

namespace flanger::tool {
namespace {

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
    using Problem = platform::posix::LinkTarget::Problem;
    const platform::posix::LinkTarget target = platform::posix::ResolveLinksForWrite(path);
    switch (target.Trouble) {
        case Problem::None:
            return target.Path;
        case Problem::ProtectedLink:
            error = "'" + target.Link + "' is another user's symbolic link in the shared folder '" +
                    DirectoryOf(target.Link) +
                    "'; the system follows no such link, nor does flanger";
            return std::nullopt;
        case Problem::UnreadableLink:
            error = "cannot read the link '" + target.Link + "': " +
                    (target.Error == EAGAIN ? std::string("it changed while being read")
                                            : std::string(std::strerror(target.Error)));
            return std::nullopt;
        case Problem::TooManyLinks:
            break;
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
        error = "'" + Target +
                "' is written, but its folder cannot be synced to disk: " + SystemError();
        if (folder >= 0) close(folder);
        return false;
    }
    close(folder);
    return true;
}

}  // namespace flanger::tool
