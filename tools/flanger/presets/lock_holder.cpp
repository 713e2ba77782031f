// Finding the holder of a file's lock in the kernel's list of locks.
#include "presets/lock_holder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/posix/store_wait.h"

namespace flanger::tool {
namespace {

// The holder of a flock on the file `status` in /proc/locks, whose lines read
// "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF" (device numbers in hex); the processes
// waiting for a lock are listed as "1: -> FLOCK ...". 0 when none is listed.
long ListedHolder(const struct stat& status) {
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(status.st_dev),
                  minor(status.st_dev), static_cast<unsigned long long>(status.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, type, mode, access, file;
        long pid = 0;
        fields >> number >> type >> mode >> access >> pid >> file;
        if (fields && type == "FLOCK" && access == "WRITE" && file == device) return pid;
    }
    return 0;
}

}  // namespace

std::optional<long> LockHolder(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return std::nullopt;
    struct stat status {};
    std::optional<long> holder;
    // A shared lock of our own is refused only while another process holds the file's lock.
    if (fstat(descriptor, &status) == 0 && flock(descriptor, LOCK_SH | LOCK_NB) != 0 &&
        errno == EWOULDBLOCK) {
        holder = ListedHolder(status);
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
