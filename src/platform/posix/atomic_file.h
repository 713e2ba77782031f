// Whole-file reads and atomic read-modify-write updates of small files that several processes
// share, such as profile files holding users' presets.
//
// An update locks the file (an advisory flock on the file itself, so no lock file is left next
// to it), waiting for another writer at most the store wait (store_wait.h), reads it, writes the new bytes to a temporary file in the same directory, flushes it
// to the disk and renames it over the old name. Readers never lock: a rename swaps whole files,
// so they see the old bytes or the new ones. A kill at any moment leaves the old or the new
// file; at worst a temporary named ".<name>.XXXXXX.tmp" (a hidden name with another extension,
// so that it cannot be taken for the file), which the next update of the file removes.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace flanger::platform::posix {

// The bytes of the regular file at `path` (following symbolic links); nothing when it is
// missing, unreadable or not a regular file (a directory, a device, a pipe).
std::optional<std::string> ReadRegularFile(const char* path);

// The new bytes of a file, computed from its current ones (empty for a file that does not exist
// yet); nothing abandons the update.
using FileEdit = std::function<std::optional<std::string>(const std::string& current)>;

// Replaces the file at `path` by edit(current bytes) while holding the file's lock, so that
// concurrent updates of one file, from threads or processes, apply one after the other and none
// is lost. A symbolic link is followed and stays a link: the file it leads to is replaced. The
// replaced file keeps its permissions (and, where allowed, its owner); a new one gets 0666 less
// the umask. Writing bytes equal to the current ones leaves the file untouched.
//
// Returns false when the file could not be written (a read-only file or directory, a missing
// directory, a path naming something other than a regular file), when another writer held its
// lock for longer than the store wait, or when the edit abandoned: the old
// file is then left as it was and no temporary file remains. A hard link to the file is split
// from it by the update, as by any editor that saves through a rename.
bool UpdateFileAtomically(const char* path, const FileEdit& edit);

}  // namespace flanger::platform::posix
