// Finding the holder of a file's lock in the kernel's list of locks.
#include "presets/lock_holder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/posix/flock_holder.h"
#include "platform/posix/store_wait.h"

namespace flanger::tool {

std::optional<long> LockHolder(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return std::nullopt;
    struct stat status {};
    std::optional<long> holder;
    // A shared lock of our own is refused only while another process holds the file's lock.
    if (fstat(descriptor, &status) == 0 && flock(descriptor, LOCK_SH | LOCK_NB) != 0 &&
        errno == EWOULDBLOCK) {
        holder = platform::posix::FlockHolder(status);
    }
    close(descriptor);
    return holder;
}

std::string DescribeHeldLock(long holder) {
    const std::string who = holder > 0 ? "process " + std::to_string(holder) : "another process";
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(platform::posix::kStoreWait).count();
    return who + " held its lock for more than " + std::to_string(seconds) + " s";
}

}  // namespace flanger::tool
