// Loading the module for its settings window with dlopen.
#include "windowing/settings_window_module.h"

#include <dlfcn.h>

#include "windowing/user32.h"

namespace flanger::platform {
namespace {

constexpr char kModuleName[] = "Plugin.so";
// Where an installation puts the module, relative to the windowing layer's directory (the build
// tree keeps both in one).
#ifndef FLANGER_MODULEDIR_FROM_LIBDIR
#define FLANGER_MODULEDIR_FROM_LIBDIR "."
#endif

std::optional<SettingsWindowModule> Load(const std::string& path) {
    void* const module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (module == nullptr) return std::nullopt;
    SettingsWindowModule exports;
    exports.Initialize =
        reinterpret_cast<decltype(exports.Initialize)>(dlsym(module, "Initialize"));
    exports.Free = reinterpret_cast<decltype(exports.Free)>(dlsym(module, "Free"));
    exports.CreateSettingsWindow = reinterpret_cast<decltype(exports.CreateSettingsWindow)>(
        dlsym(module, "CreateSettingsWindow"));
    if (exports.Initialize == nullptr || exports.Free == nullptr ||
        exports.CreateSettingsWindow == nullptr) {
        return std::nullopt;
    }
    return exports;
}

// The directory of the windowing layer's library, with its trailing slash.
std::string LayerDirectory() {
    Dl_info layer{};
    if (dladdr(reinterpret_cast<void*>(&FlangerOpenDisplay), &layer) == 0 ||
        layer.dli_fname == nullptr) {
        return {};
    }
    std::string path = layer.dli_fname;
    path.erase(path.rfind('/') + 1);
    return path;
}

}  // namespace

std::optional<SettingsWindowModule> LoadSettingsWindowModule(const std::string& directory) {
    if (auto beside = Load(directory + kModuleName)) return beside;
    const std::string layer = LayerDirectory();
    if (layer.empty()) return std::nullopt;
    if (auto besideLayer = Load(layer + kModuleName)) return besideLayer;
    return Load(layer + FLANGER_MODULEDIR_FROM_LIBDIR "/" + kModuleName);
}

}  // namespace flanger::platform
