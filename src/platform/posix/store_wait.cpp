// The bounded waits of saves; see store_wait.h.
#include "platform/posix/store_wait.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/posix/flock_holder.h"

namespace flanger::platform::posix {
namespace {

std::atomic<std::chrono::milliseconds::rep> storeWaitMs{kStoreWait.count()};

// flock cannot wait with a time limit, so a busy lock is tried again after a pause that grows,
// never so long that a waiter misses many chances while several others take turns.
constexpr auto kLongestPause = std::chrono::milliseconds(20);

}  // namespace

std::chrono::milliseconds StoreWait() { return std::chrono::milliseconds(storeWaitMs.load()); }

void SetStoreWait(std::chrono::milliseconds wait) { storeWaitMs = wait.count(); }

StoreWaitDeadline::StoreWaitDeadline()
    : Wait(StoreWait()),
      Limit(std::chrono::steady_clock::now() + Wait * kLongestLockWait),
      Deadline(std::chrono::steady_clock::now() + Wait),
      NextPause(std::chrono::milliseconds(1)) {}

void StoreWaitDeadline::SawProgress() {
    Deadline = std::min(std::chrono::steady_clock::now() + Wait, Limit);
}

bool StoreWaitDeadline::Over() const { return std::chrono::steady_clock::now() >= Deadline; }

void StoreWaitDeadline::Pause(std::chrono::milliseconds longest) {
    const auto left = Deadline - std::chrono::steady_clock::now();
    if (left > std::chrono::steady_clock::duration::zero()) {
        std::this_thread::sleep_for(std::min(NextPause, left));
    }
    NextPause = std::min<std::chrono::steady_clock::duration>(NextPause * 2, longest);
}

LockResult LockWithinStoreWait(int descriptor) {
    StoreWaitDeadline deadline;
    struct stat file {};
    const bool known = fstat(descriptor, &file) == 0;
    long lastHolder = 0;
    for (;;) {
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) return LockResult::Locked;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return LockResult::Failed;
        if (const long holder = known ? FlockHolder(file) : 0;
            holder != 0 && holder != lastHolder) {
            lastHolder = holder;
            deadline.SawProgress();
        }
        if (deadline.Over()) return LockResult::Busy;
        deadline.Pause(kLongestPause);
    }
}

}  // namespace flanger::platform::posix
