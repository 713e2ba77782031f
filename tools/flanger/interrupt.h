// Ctrl-C and termination while a file is being written. The first SIGINT or SIGTERM only sets a
// flag, which the processing loop polls between blocks so that it can stop, remove its
// temporary file and exit with status 130. A second signal, for a loop stuck in a read that
// never returns, removes the registered temporary file at once and exits.
#pragma once

namespace flanger::tool {

// Installs the handlers for SIGINT and SIGTERM.
void InstallInterruptHandlers();

// True once SIGINT or SIGTERM arrived.
bool InterruptRequested();

// The file the second signal removes (null: none). The name is copied; it must fit in 4 KiB.
void SetInterruptCleanupPath(const char* path);

inline constexpr int kInterruptedExitStatus = 130;

}  // namespace flanger::tool
