// Finding the holder of a file's lock in the kernel's list of locks.
#include "platform/posix/flock_holder.h"

#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace flanger::platform::posix {

// /proc/locks lines read "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF" (device numbers in
// hex); the processes waiting for a lock are listed as "1: -> FLOCK ...", which the field
// order below skips.
long FlockHolder(const struct stat& file) {
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%llu", major(file.st_dev), minor(file.st_dev),
                  static_cast<unsigned long long>(file.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, type, mode, access, name;
        long pid = 0;
        fields >> number >> type >> mode >> access >> pid >> name;
        if (fields && type == "FLOCK" && access == "WRITE" && name == device) return pid;
    }
    return 0;
}

}  // namespace flanger::platform::posix
