// Rewriting a shared file in place; see in_place_update.h.
#include "platform/posix/in_place_update.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace flanger::platform::posix {
namespace {

bool WriteAt(int descriptor, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t n = pwrite(descriptor, bytes.data(), bytes.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
        offset += n;
    }
    return true;
}

// Writes `to` over `from` from `offset` on (the bytes before are equal) and leaves the file
// `to`'s length, on the disk.
bool Overwrite(int descriptor, std::string_view to, std::string_view from, std::size_t offset) {
    if (!WriteAt(descriptor, to.substr(offset), static_cast<off_t>(offset))) return false;
    // Flushed before the cut, so that a power cut cannot leave a cut of the old bytes with the
    // new ones not yet on the disk.
    if (fsync(descriptor) != 0) return false;
    if (to.size() >= from.size()) return true;
    return ftruncate(descriptor, static_cast<off_t>(to.size())) == 0 && fsync(descriptor) == 0;
}

}  // namespace

bool MayReplaceByRename(const std::string& directory, const struct stat& status) {
    return status.st_nlink == 1 && status.st_uid == geteuid() &&
           faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool RewriteInPlace(int descriptor, std::string_view current, std::string_view updated) {
    const std::size_t same = static_cast<std::size_t>(
        std::mismatch(current.begin(), current.end(), updated.begin(), updated.end()).first -
        current.begin());
    if (Overwrite(descriptor, updated, current, same)) return true;
    // The failed write may have put any part of the new bytes in place, or lengthened the file.
    const int reason = errno;
    if (WriteAt(descriptor, current.substr(same), static_cast<off_t>(same)) &&
        ftruncate(descriptor, static_cast<off_t>(current.size())) == 0) {
        fsync(descriptor);
    }
    errno = reason;
    return false;
}

}  // namespace flanger::platform::posix
