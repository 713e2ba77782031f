// Symbolic link chains resolved for a write; see link_resolution.h.
#include "platform/posix/link_resolution.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace flanger::platform::posix {
namespace {

// The kernel's own limit on links followed while resolving one name.
constexpr int kMaxLinkHops = 40;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool KernelWouldFollow(const std::string& link, unsigned linkOwner) {
    struct stat folder {};
    if (stat(FolderOf(link).c_str(), &folder) != 0) return true;  // then nothing is written
    const bool sharedSticky = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !sharedSticky || linkOwner == geteuid() || linkOwner == folder.st_uid;
}

LinkTarget ResolveLinksForWrite(const std::string& path) {
    LinkTarget result;
    result.Path = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat status {};
        if (lstat(result.Path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return result;
        result.Link = result.Path;
        if (!KernelWouldFollow(result.Path, status.st_uid)) {
            result.Trouble = LinkTarget::Problem::ProtectedLink;
            return result;
        }
        // The size lstat gives may be 0 (/proc) or stale; one byte more shows a cut read.
        std::vector<char> text(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) +
                               1);
        const ssize_t length = readlink(result.Path.c_str(), text.data(), text.size());
        if (length < 0 || static_cast<std::size_t>(length) >= text.size()) {
            result.Trouble = LinkTarget::Problem::UnreadableLink;
            result.Error = length < 0 ? errno : EAGAIN;
            return result;
        }
        std::string next(text.data(), static_cast<std::size_t>(length));
        if (!next.empty() && next.front() != '/' && result.Path.find('/') != std::string::npos) {
            next = FolderOf(result.Path) + "/" + next;
        }
        result.Path = std::move(next);
    }
    result.Trouble = LinkTarget::Problem::TooManyLinks;
    return result;
}

}  // namespace flanger::platform::posix
