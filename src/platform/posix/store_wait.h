// How long a save waits for a store that another writer keeps busy: a profile or XML file whose
// lock another save holds, or a registry database another connection keeps locked.
//
// A host's audio editor calls SavePreset on a thread it may need back, and a process that hangs
// or is stopped while holding a preset file must not keep it waiting for ever. Such a wait ends
// when one holder has kept the store for the store wait, and the save then fails. A lock that
// keeps passing from one saver to the next is not stuck: on a loaded machine, where each save's
// sync may take a second, a waiter can see many savers go first.
#pragma once

#include <chrono>

namespace flanger::platform::posix {

// Long enough that no save of a preset comes near it, even on a loaded machine.
inline constexpr std::chrono::milliseconds kStoreWait{5000};

// kStoreWait, unless a test shortened it.
std::chrono::milliseconds StoreWait();

// For tests: makes the waits that begin afterwards end after `wait`.
void SetStoreWait(std::chrono::milliseconds wait);

enum class LockResult { Locked, Busy, Failed };

// However many savers go first, a waiting save gives up after this many store waits.
inline constexpr int kLongestLockWait = 12;

// The end of one wait for a busy store: StoreWait() after it began or after the last sign that
// the store is passing from saver to saver, and kLongestLockWait store waits after it began.
class StoreWaitDeadline {
public:
    StoreWaitDeadline();
    // Another saver got the store since the last look: the wait for this one starts now.
    void SawProgress();
    bool Over() const;
    // Sleeps until the next look: short at first, since most saves hold a store for a
    // millisecond or two, then longer up to `longest`, never past the deadline.
    void Pause(std::chrono::milliseconds longest);

private:
    std::chrono::milliseconds Wait;
    std::chrono::steady_clock::time_point Limit;
    std::chrono::steady_clock::time_point Deadline;
    std::chrono::steady_clock::duration NextPause;
};

// Takes the exclusive advisory lock (flock) of the open file or directory `descriptor`, waiting
// while the lock changes hands, but at most StoreWait() for any one holder (the kernel's list of
// locks tells who holds it; where it cannot, StoreWait() in all) and never longer than
// kLongestLockWait store waits. Busy when the holder did not let go, Failed when the file
// system refuses the lock (errno tells why).
LockResult LockWithinStoreWait(int descriptor);

}  // namespace flanger::platform::posix
