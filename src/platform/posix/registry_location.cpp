// The registry database's location: the override variable, then the XDG configuration folder.
#include "platform/posix/registry_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace flanger::platform {
namespace {

constexpr const char* kFolderName = "flanger";
constexpr const char* kFileName = "registry.sqlite3";

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    // Services and some sandboxes run without HOME; the password database still knows.
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

// Some file systems (read-only mounts) answer mkdir of an existing folder with another error
// than EEXIST.
bool IsFolder(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::string RegistryDatabasePath() {
    if (const char* path = std::getenv(kRegistryPathVariable); path != nullptr && path[0] != '\0') {
        return path;
    }
    std::string configFolder;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        configFolder = xdg;
    } else {
        const std::string home = HomeFolder();
        if (home.empty()) {
            return {};
        }
        configFolder = home + "/.config";
    }
    return configFolder + "/" + kFolderName + "/" + kFileName;
}

bool MakeParentFolders(const std::string& filePath) {
    const std::size_t lastSlash = filePath.find_last_of('/');
    if (lastSlash == std::string::npos || lastSlash == 0) {
        return true;  // the current folder or the root, both exist
    }
    // Walk down from the top so that each mkdir has its parent; EEXIST covers folders that exist
    // already or that another process made at the same moment.
    for (std::size_t slash = filePath.find('/', 1);
         slash != std::string::npos && slash <= lastSlash; slash = filePath.find('/', slash + 1)) {
        if (filePath[slash - 1] == '/') {
            continue;  // "a//b" names the same folder as "a/b"
        }
        const std::string folder = filePath.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST && !IsFolder(folder)) {
            return false;
        }
    }
    return IsFolder(filePath.substr(0, lastSlash));
}

}  // namespace flanger::platform
