// Ctrl-C and termination while files are being written. Every signal whose default action ends
// the process, and which is not raised by a fault of the program itself, is handled alike:
// SIGINT, SIGTERM, SIGHUP (the terminal went away), SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1/2,
// SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSTKFLT and the real-time signals. The
// first only sets a flag, which every processing loop polls between blocks so that it can stop,
// remove its temporary file and exit with status 130. A second signal, for a loop stuck in a read
// that never returns, removes every registered temporary file at once and exits. A signal that
// the process inherited as ignored (nohup's SIGHUP) stays ignored, and one that already has a
// handler (a profiler's SIGPROF) keeps it. A writer killed outright (SIGKILL) leaves its
// temporary file to the next run that writes the same output (see temporary_files.h).
//
// Files being written at the same time (one per worker thread) each register their temporary
// file in a slot of their own; the handler needs fixed storage, so there are
// kInterruptCleanupSlots.
#pragma once

namespace flanger::tool {

inline constexpr int kInterruptedExitStatus = 130;
inline constexpr int kInterruptCleanupSlots = 256;

// Installs the handlers. Safe to call again, from any thread.
void InstallInterruptHandlers();

// True once one of the signals arrived. Any thread.
bool InterruptRequested();

// The file the second signal removes for `slot` (0 <= slot < kInterruptCleanupSlots; others are
// ignored), null: none. The name is copied; it must fit in 4 KiB. One thread per slot.
void SetInterruptCleanupPath(int slot, const char* path);

}  // namespace flanger::tool
