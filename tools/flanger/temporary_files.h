// The temporary files that outputs are written to before they replace their target, and the
// removal of those that a writer killed outright (SIGKILL, a crash, a power cut) left behind.
//
// A temporary is named ".<name>.flanger-<pid>-XXXXXX" beside its target (the target's name cut
// to 200 bytes, the writing process's id, six random characters), and its writer holds an
// advisory lock on it (flock) from its creation until it is renamed over the target or removed.
// A later writer of the same target removes a temporary only when both say the writer is gone:
// the lock can be taken (the kernel drops a dead process's locks) and no process has that id.
// Only regular files of the current user with exactly that form of name are touched; temporaries
// named without a process id, as earlier versions named them, are left alone, as nothing tells
// whether their writer still runs.
#pragma once

#include <string>

namespace flanger::tool {

// The mkstemp pattern of the calling process's temporaries for `target`.
std::string TemporaryPattern(const std::string& target);

// Locks a temporary just made from TemporaryPattern, on its own descriptor (the writer's may be
// closed before the rename). The descriptor to close once the temporary is renamed or removed,
// -1 when the lock could not be taken (the temporary then looks abandoned to later writers only
// once this process is gone).
int LockTemporary(const std::string& temporary);

// Removes the temporaries of `target` whose writers are gone. The folder is listed once per
// process; temporaries that appear after that belong to writers still running or to a later run.
void RemoveStaleTemporaries(const std::string& target) noexcept;

}  // namespace flanger::tool
