// Where a write of a path lands: the end of its chain of symbolic links, resolved by us so that
// the links stay links when a new file is renamed into place.
//
// Resolving links ourselves bypasses the kernel's own check of fs.protected_symlinks, so it is
// made here: in a sticky folder that everyone may write, such as /tmp, only a link of the
// follower's own or of the folder's owner is followed. A link that another user planted there
// then cannot turn a save into a write of a file the planter may not write.
#pragma once

#include <string>

namespace flanger::platform::posix {

struct LinkTarget {
    enum class Problem { None, ProtectedLink, UnreadableLink, TooManyLinks };
    std::string Path;  // the file a write replaces (need not exist); the path itself for no link
    Problem Trouble = Problem::None;
    std::string Link;  // the link that stopped the resolution, when there is trouble
    int Error = 0;     // errno of an unreadable link
};

// The end of `path`'s chain of links, at most as many as the kernel follows (40). A relative
// link is taken relative to the folder of the link.
LinkTarget ResolveLinksForWrite(const std::string& path);

// Whether the kernel would follow the link at `link`, owned by `linkOwner` (fs.protected_symlinks).
bool KernelWouldFollow(const std::string& link, unsigned linkOwner);

}  // namespace flanger::platform::posix
