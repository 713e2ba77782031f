// The current directory as the module's 8-bit file names need it (Windows only).
#pragma once

#include <string>

namespace flanger::platform {

// The process's current directory as an 8-bit path in the ANSI code page, ending in a backslash,
// so that a file name appended to it names a file there whatever the current directory is later.
// Where the code page cannot spell the directory's name, its short (8.3) form, when that one can
// be spelled; failing both, a spelling with '?' for what the code page lacks, which names no
// file. Empty when the system cannot tell the directory. Safe while the module is being loaded
// (inside DllMain): it loads nothing and takes no lock of the loader's.
std::string CurrentDirectoryPath() noexcept;

}  // namespace flanger::platform
