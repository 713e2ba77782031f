// Signal handlers for SIGINT and SIGTERM; only async-signal-safe calls inside them.
#include "interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace flanger::tool {
namespace {

volatile std::sig_atomic_t Requested = 0;
volatile std::sig_atomic_t CleanupArmed = 0;
char CleanupPath[4096];

void OnInterrupt(int) {
    if (Requested != 0) {
        if (CleanupArmed != 0) unlink(CleanupPath);
        _exit(kInterruptedExitStatus);
    }
    Requested = 1;
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

bool InterruptRequested() { return Requested != 0; }

void SetInterruptCleanupPath(const char* path) {
    CleanupArmed = 0;
    if (path == nullptr || std::strlen(path) >= sizeof CleanupPath) return;
    std::strcpy(CleanupPath, path);
    CleanupArmed = 1;
}

}  // namespace flanger::tool
