// Loading the module with the platform's dynamic loader, as a host does.
#include "plugin_module.h"

#include <dlfcn.h>

namespace host {
namespace {

LoadedPlugin Load() {
    LoadedPlugin plugin;
    // RTLD_LOCAL: the module must work without lending its symbols to anyone, as it does in a
    // host that loads several plug-ins with the same export names.
    void* const handle = dlopen(FLANGER_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* const reason = dlerror();
        plugin.error = std::string("dlopen ") + FLANGER_PLUGIN_PATH + ": " +
                       (reason != nullptr ? reason : "unknown error");
        return plugin;
    }
    void* addresses[kExportNames.size()] = {};
    for (std::size_t i = 0; i < kExportNames.size(); ++i) {
        addresses[i] = dlsym(handle, kExportNames[i]);
        if (addresses[i] == nullptr)
            plugin.error += std::string("missing ") + kExportNames[i] + "; ";
    }
    if (!plugin.error.empty()) return plugin;

    PluginExports& e = plugin.exports;
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
    return plugin;
}

}  // namespace

const LoadedPlugin& LoadPlugin() {
    static const LoadedPlugin plugin = Load();
    return plugin;
}

}  // namespace host
