// Finding the module: an explicit choice first, then the build tree's Plugin.so next to the
// executable, then the installed one in the module folder.
#include "module/plugin_location.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <vector>

// The installed module folder seen from the installed command's folder, such as
// "../lib/x86_64-linux-gnu/flanger"; set by the build from its install layout.
#ifndef FLANGER_MODULEDIR_FROM_BINDIR
#define FLANGER_MODULEDIR_FROM_BINDIR "../lib/flanger"
#endif

namespace flanger::tool {

std::string LocatePlugin(const std::optional<std::string>& optionPath, const char* environmentPath,
                         const std::string& executablePath) {
    if (optionPath) return *optionPath;
    if (environmentPath != nullptr && *environmentPath != '\0') return environmentPath;
    const std::size_t slash = executablePath.find_last_of('/');
    if (slash == std::string::npos) return "Plugin.so";
    const std::string besideExecutable = executablePath.substr(0, slash + 1) + "Plugin.so";
    if (access(besideExecutable.c_str(), F_OK) == 0) return besideExecutable;
    // Relative to the executable's real folder, so a tree moved as a whole (DESTDIR, another
    // prefix) still finds its own module. When neither exists, the error names the first.
    const std::string installed =
        std::filesystem::path(executablePath.substr(0, slash + 1) + FLANGER_MODULEDIR_FROM_BINDIR +
                              "/Plugin.so")
            .lexically_normal()
            .string();
    return access(installed.c_str(), F_OK) == 0 ? installed : besideExecutable;
}

std::string RunningExecutablePath() {
    std::vector<char> buffer(PATH_MAX);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    // A full buffer may be a truncated name.
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size()) return {};
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace flanger::tool
