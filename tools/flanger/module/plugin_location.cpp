// Finding the module: an explicit choice first, then the installation next to the executable.
#include "module/plugin_location.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace flanger::tool {

std::string LocatePlugin(const std::optional<std::string>& optionPath, const char* environmentPath,
                         const std::string& executablePath) {
    if (optionPath) return *optionPath;
    if (environmentPath != nullptr && *environmentPath != '\0') return environmentPath;
    const std::size_t slash = executablePath.find_last_of('/');
    if (slash == std::string::npos) return "Plugin.so";
    return executablePath.substr(0, slash + 1) + "Plugin.so";
}

std::string RunningExecutablePath() {
    std::vector<char> buffer(PATH_MAX);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    // A full buffer may be a truncated name.
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace flanger::tool
