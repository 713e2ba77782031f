// Loading the module with dlopen and resolving its exports with dlsym.
#include "module/plugin_library.h"

#include <dlfcn.h>

namespace flanger::tool {
namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function& function, std::string& error) {
    void* const symbol = dlsym(handle, name);
    if (symbol == nullptr) {
        error = std::string("the module does not export ") + name;
        return false;
    }
    // POSIX guarantees that a data pointer from dlsym converts to the function it names.
    function = reinterpret_cast<Function>(symbol);
    return true;
}

}  // namespace

PluginLibrary::PluginLibrary(void* handle, const PluginExports& exports)
    : Handle(handle), Resolved(exports) {}

PluginLibrary::~PluginLibrary() { dlclose(Handle); }

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string& error) {
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // RTLD_NOW: a module with an unresolved symbol is refused here, not half-way through a file.
    void* const handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* const reason = dlerror();
        error = reason != nullptr ? reason : "dlopen failed";
        return nullptr;
    }
    PluginExports exports;
    const bool resolved = Resolve(handle, "PlugInInfo", exports.PlugInInfo, error) &&
                          Resolve(handle, "Initialize", exports.Initialize, error) &&
                          Resolve(handle, "LoadPreset", exports.LoadPreset, error) &&
                          Resolve(handle, "InitializeXml", exports.InitializeXml, error) &&
                          Resolve(handle, "SavePreset", exports.SavePreset, error) &&
                          Resolve(handle, "SavePresetXml", exports.SavePresetXml, error) &&
                          Resolve(handle, "SetStreamCallBack", exports.SetStreamCallBack, error) &&
                          Resolve(handle, "OpenStream", exports.OpenStream, error) &&
                          Resolve(handle, "ProcessStream", exports.ProcessStream, error) &&
                          Resolve(handle, "CloseStream", exports.CloseStream, error) &&
                          Resolve(handle, "Free", exports.Free, error);
    if (!resolved) {
        dlclose(handle);
        return nullptr;
    }
    std::string ignored;
    Resolve(handle, "CreateSettingsWindow", exports.CreateSettingsWindow, ignored);
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle, exports));
}

}  // namespace flanger::tool
