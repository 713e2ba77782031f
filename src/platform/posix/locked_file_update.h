// Whole-file reads, and read-modify-write updates under a lock, of small files that several
// processes share, such as profile files holding users' presets.
//
// An update locks the file (an advisory flock on the file itself, so no lock file is left next
// to it), waiting for another writer at most the store wait (store_wait.h), and reads it. Where
// a rename changes nothing but the bytes (in_place_update.h: the folder is writable, the file has
// one link and belongs to the writer), it writes the new bytes to a temporary file in the same
// directory, flushes it to the disk and renames it over the old name: readers, which never lock,
// see the old bytes or the new ones, and a kill at any moment leaves the old or the new file; at
// worst a temporary named ".<name>.XXXXXX.tmp" (a hidden name with another extension, so that
// it cannot be taken for the file), which the next such update of the file removes. Otherwise it
// rewrites the file in place under the same lock, keeping its inode, links and owner: a failure
// puts the old bytes back, but a kill or power cut between writing the new bytes and cutting the
// file to their length leaves the new bytes followed by the end of the old ones.
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

// Replaces the bytes of the file at `path` by edit(current bytes) while holding the file's
// lock, so that concurrent updates of one file, from threads or processes, apply one after the
// other and none is lost. A symbolic link is followed and stays a link: the file it leads to is
// updated. The file keeps its permissions and owner, and a hard link to it sees the update; a
// new file gets 0666 less the umask. Writing bytes equal to the current ones leaves the file
// untouched.
//
// Returns false when the file could not be written (a read-only file, a missing directory or a
// new file in a read-only one, a path naming something other than a regular file), when another
// writer held its lock for longer than the store wait, or when the edit abandoned: the old file
// is then left as it was and no temporary file remains.
bool UpdateFileUnderLock(const char* path, const FileEdit& edit);

}  // namespace flanger::platform::posix
