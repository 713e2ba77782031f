// Signal handlers for SIGINT and SIGTERM; only async-signal-safe calls inside them. The state
// they share with the worker threads is lock-free atomics and fixed arrays, never allocated.
#include "interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace flanger::tool {
namespace {

// Lock-free atomics are the only shared objects a signal handler may touch besides
// volatile sig_atomic_t, and unlike it they are also safe between threads.
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

struct CleanupSlot {
    std::atomic<bool> Armed{false};
    char Path[4096];
};

std::atomic<int> Requested{0};
// 1 MiB of zeroed storage that costs nothing until a slot is used.
CleanupSlot Slots[kInterruptCleanupSlots];

void OnInterrupt(int) {
    if (Requested.exchange(1) != 0) {
        for (CleanupSlot& slot : Slots) {
            if (slot.Armed.load()) unlink(slot.Path);
        }
        _exit(kInterruptedExitStatus);
    }
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Both signals share the flag, so neither may interrupt the other's handler.
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return Requested.load() != 0; }

void SetInterruptCleanupPath(int slot, const char* path) {
    if (slot < 0 || slot >= kInterruptCleanupSlots) return;
    CleanupSlot& cleanup = Slots[slot];
    // Disarmed while the name changes: the handler reads a slot's name only after seeing it
    // armed. (A handler already past that check on another thread could still read the copy in
    // progress; it is left to that window of a few instructions, on the way out of the program.)
    cleanup.Armed.store(false);
    if (path == nullptr || std::strlen(path) >= sizeof cleanup.Path) return;
    std::strcpy(cleanup.Path, path);
    cleanup.Armed.store(true);
}

}  // namespace flanger::tool
