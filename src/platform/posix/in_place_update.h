// The second way an update of a shared file puts its new bytes in place, where a new file
// renamed over the old one would change more than the bytes: the same file rewritten.
//
// A rename swaps whole files, which is what keeps readers and a kill from seeing half a file,
// but it needs a folder the writer may write, and it makes a new inode: a hard link to the file
// would keep the old bytes, and a file of another user would become the writer's. Windows
// programs write such files in place, and users expect the same of ours. A rewrite in place
// keeps the inode, its links, owner and permissions; its price is a moment, between writing the
// new bytes and cutting the file to their length, in which a kill or a power cut leaves the new
// bytes followed by the end of the old ones.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace flanger::platform::posix {

// Whether an update may rename a new file over the existing file `status` in `directory`: only
// when that changes nothing but the bytes, that is, when the folder lets this process create
// and rename files in it, the file has no other name (hard link) and belongs to this process's
// user.
bool MayReplaceByRename(const std::string& directory, const struct stat& status);

// Makes the open regular file `descriptor`, which holds `current`, hold `updated`: writes the
// bytes from the first one that differs, flushes them to the disk, then cuts the file to the
// new length and flushes again. The old bytes stay in memory until then: when a write, flush or
// cut fails, they are written back (as far as the system lets) and the result is false.
bool RewriteInPlace(int descriptor, std::string_view current, std::string_view updated);

}  // namespace flanger::platform::posix
