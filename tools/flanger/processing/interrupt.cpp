// Signal handlers for the signals that would end the process; only async-signal-safe calls
// inside them. The state they share with the worker threads is lock-free atomics and fixed
// arrays, never allocated.
#include "processing/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

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

// Every signal whose default action ends the process, except those a fault of the program
// raises (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT): returning from their handler
// would only run into the fault again. What such a crash leaves is removed by a later run.
std::vector<int> StoppingSignals() {
    std::vector<int> numbers = {SIGHUP,    SIGINT,  SIGQUIT, SIGPIPE, SIGALRM,
                                SIGTERM,   SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM,
                                SIGPROF,   SIGIO,   SIGPWR,  SIGSTKFLT};
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) numbers.push_back(number);
    return numbers;
}

}  // namespace

void InstallInterruptHandlers() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        sigset_t stopping;
        sigemptyset(&stopping);
        for (const int number : StoppingSignals()) sigaddset(&stopping, number);
        struct sigaction action {};
        action.sa_handler = &OnInterrupt;
        // All share the flag, so none may interrupt another's handler.
        action.sa_mask = stopping;
        for (const int number : StoppingSignals()) {
            struct sigaction current {};
            if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
                sigaction(number, &action, nullptr);
            }
        }
    });
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
