// The bounded waits of saves; see store_wait.h.
#include "platform/posix/store_wait.h"

#include <sys/file.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

namespace flanger::platform::posix {
namespace {

std::atomic<std::chrono::milliseconds::rep> storeWaitMs{kStoreWait.count()};

// flock cannot wait with a time limit, so a busy lock is tried again after a pause that grows:
// short at first, since most saves hold a lock for a millisecond or two; never so long that a
// waiter misses many chances while several others take turns.
constexpr auto kFirstPause = std::chrono::milliseconds(1);
constexpr auto kLongestPause = std::chrono::milliseconds(20);

}  // namespace

std::chrono::milliseconds StoreWait() { return std::chrono::milliseconds(storeWaitMs.load()); }

void SetStoreWait(std::chrono::milliseconds wait) { storeWaitMs = wait.count(); }

LockResult LockWithinStoreWait(int descriptor) {
    const auto deadline = std::chrono::steady_clock::now() + StoreWait();
    auto pause = kFirstPause;
    for (;;) {
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) return LockResult::Locked;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return LockResult::Failed;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return LockResult::Busy;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, kLongestPause);
    }
}

}  // namespace flanger::platform::posix
