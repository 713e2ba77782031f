// Temporary names, their writers' locks and the removal of abandoned temporaries.
#include "temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "output_file.h"

namespace flanger::tool {
namespace {

// Long names are cut so that the temporary's name stays within NAME_MAX.
constexpr std::size_t kMaxNameInTemporary = 200;
constexpr std::string_view kMarker = ".flanger-";
constexpr std::size_t kRandomLength = 6;  // mkstemp's XXXXXX

std::string Prefix(const std::string& target) {
    return "." + BaseNameOf(target).substr(0, kMaxNameInTemporary) + std::string(kMarker);
}

// The writer's process id in a temporary's name: what follows the prefix must be a decimal id,
// '-' and six characters of mkstemp's alphabet. 0 for any other name.
pid_t WriterOf(std::string_view entry, std::string_view prefix) {
    if (!entry.starts_with(prefix)) return 0;
    entry.remove_prefix(prefix.size());
    const std::size_t dash = entry.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 9 ||
        entry.size() != dash + 1 + kRandomLength) {
        return 0;
    }
    pid_t writer = 0;
    for (const char c : entry.substr(0, dash)) {
        if (c < '0' || c > '9') return 0;
        writer = writer * 10 + (c - '0');
    }
    for (const char c : entry.substr(dash + 1)) {
        const bool alphanumeric =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alphanumeric) return 0;
    }
    return writer;
}

bool ProcessExists(pid_t process) { return kill(process, 0) == 0 || errno != ESRCH; }

// Removes `path` when it is a regular file of ours that no live process holds locked and whose
// writer `writer` no longer runs.
void RemoveIfAbandoned(const std::string& path, pid_t writer) {
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (file < 0) return;
    struct stat locked {};
    struct stat current {};
    if (fstat(file, &locked) == 0 && S_ISREG(locked.st_mode) && locked.st_uid == geteuid() &&
        flock(file, LOCK_EX | LOCK_NB) == 0 && !ProcessExists(writer) &&
        lstat(path.c_str(), &current) == 0 && current.st_dev == locked.st_dev &&
        current.st_ino == locked.st_ino) {
        unlink(path.c_str());
    }
    close(file);
}

// The names in each folder that look like some target's temporaries, listed on first use.
class TemporaryListings {
public:
    std::vector<std::string> In(const std::string& directory) {
        const std::lock_guard lock(Mutex);
        const auto known = Listings.find(directory);
        if (known != Listings.end()) return known->second;
        std::vector<std::string>& names = Listings[directory];
        if (DIR* const folder = opendir(directory.c_str())) {
            while (const dirent* entry = readdir(folder)) {
                const std::string_view name = entry->d_name;
                if (name.starts_with('.') && name.find(kMarker) != std::string_view::npos) {
                    names.emplace_back(name);
                }
            }
            closedir(folder);
        }
        return names;
    }

private:
    std::mutex Mutex;
    std::map<std::string, std::vector<std::string>> Listings;
};

}  // namespace

std::string TemporaryPattern(const std::string& target) {
    return DirectoryOf(target) + "/" + Prefix(target) + std::to_string(getpid()) + "-" +
           std::string(kRandomLength, 'X');
}

int LockTemporary(const std::string& temporary) {
    const int lock = open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (lock >= 0 && flock(lock, LOCK_EX | LOCK_NB) == 0) return lock;
    if (lock >= 0) close(lock);
    return -1;
}

void RemoveStaleTemporaries(const std::string& target) noexcept {
    static auto* listings = new TemporaryListings;  // outlives the worker threads at exit
    try {
        const std::string directory = DirectoryOf(target);
        const std::string prefix = Prefix(target);
        for (const std::string& name : listings->In(directory)) {
            if (const pid_t writer = WriterOf(name, prefix); writer > 0) {
                RemoveIfAbandoned(directory + "/" + name, writer);
            }
        }
    } catch (...) {
        // Out of memory: the temporaries stay for a later run.
    }
}

}  // namespace flanger::tool
