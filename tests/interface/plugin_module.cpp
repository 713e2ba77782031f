// Loading the module with the platform's dynamic loader (dlopen, or LoadLibraryA on Windows),
// as a host does.
#include "plugin_module.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace host {
namespace {

#ifdef _WIN32
using ModuleHandle = HMODULE;

ModuleHandle OpenModule(std::string& error) {
    HMODULE const module = LoadLibraryA(FLANGER_PLUGIN_PATH);
    if (module == nullptr) {
        error = std::string("LoadLibraryA ") + FLANGER_PLUGIN_PATH + ": error " +
                std::to_string(GetLastError());
    }
    return module;
}

void* FindExport(ModuleHandle module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
}
#else
using ModuleHandle = void*;

ModuleHandle OpenModule(std::string& error) {
    // RTLD_LOCAL: the module must work without lending its symbols to anyone, as it does in a
    // host that loads several plug-ins with the same export names.
    void* const handle = dlopen(FLANGER_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* const reason = dlerror();
        error = std::string("dlopen ") + FLANGER_PLUGIN_PATH + ": " +
                (reason != nullptr ? reason : "unknown error");
    }
    return handle;
}

void* FindExport(ModuleHandle module, const char* name) { return dlsym(module, name); }
#endif

LoadedPlugin Load() {
    LoadedPlugin plugin;
    ModuleHandle const module = OpenModule(plugin.error);
    if (module == nullptr) return plugin;
    plugin.error = ResolveExports([module](const char* name) { return FindExport(module, name); },
                                  plugin.exports);
    return plugin;
}

}  // namespace

std::string ResolveExports(const std::function<void*(const char*)>& find, PluginExports& exports) {
    std::string error;
    void* addresses[kExportNames.size()] = {};
    for (std::size_t i = 0; i < kExportNames.size(); ++i) {
        addresses[i] = find(kExportNames[i]);
        if (addresses[i] == nullptr) error += std::string("missing ") + kExportNames[i] + "; ";
    }
    if (!error.empty()) return error;

    PluginExports& e = exports;
    e.PlugInInfo = reinterpret_cast<decltype(e.PlugInInfo)>(addresses[0]);
    e.Initialize = reinterpret_cast<decltype(e.Initialize)>(addresses[1]);
    e.LoadPreset = reinterpret_cast<decltype(e.LoadPreset)>(addresses[2]);
    e.InitializeXml = reinterpret_cast<decltype(e.InitializeXml)>(addresses[3]);
    e.CopySettings = reinterpret_cast<decltype(e.CopySettings)>(addresses[4]);
    e.SavePreset = reinterpret_cast<decltype(e.SavePreset)>(addresses[5]);
    e.SavePresetXml = reinterpret_cast<decltype(e.SavePresetXml)>(addresses[6]);
    e.SetStreamCallBack = reinterpret_cast<decltype(e.SetStreamCallBack)>(addresses[7]);
    e.OpenStream = reinterpret_cast<decltype(e.OpenStream)>(addresses[8]);
    e.ProcessStream = reinterpret_cast<decltype(e.ProcessStream)>(addresses[9]);
    e.CloseStream = reinterpret_cast<decltype(e.CloseStream)>(addresses[10]);
    e.Free = reinterpret_cast<decltype(e.Free)>(addresses[11]);
    return error;
}

const LoadedPlugin& LoadPlugin() {
    static const LoadedPlugin plugin = Load();
    return plugin;
}

}  // namespace host
