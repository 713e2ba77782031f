// The plug-in module as a host sees it: a shared library loaded at run time whose exports are
// looked up by name. The only unit that sees <dlfcn.h>.
#pragma once

#include <memory>
#include <string>

#include "flanger_plugin.h"

namespace flanger::tool {

// The exports the flanger command calls, resolved from one loaded module.
struct PluginExports {
    decltype(&::PlugInInfo) PlugInInfo = nullptr;
    decltype(&::Initialize) Initialize = nullptr;
    decltype(&::LoadPreset) LoadPreset = nullptr;
    decltype(&::InitializeXml) InitializeXml = nullptr;
    decltype(&::SavePreset) SavePreset = nullptr;
    decltype(&::SavePresetXml) SavePresetXml = nullptr;
    decltype(&::SetStreamCallBack) SetStreamCallBack = nullptr;
    decltype(&::OpenStream) OpenStream = nullptr;
    decltype(&::ProcessStream) ProcessStream = nullptr;
    decltype(&::CloseStream) CloseStream = nullptr;
    decltype(&::Free) Free = nullptr;
    // Null when the module has no settings window; only the window command needs it.
    decltype(&::CreateSettingsWindow) CreateSettingsWindow = nullptr;
};

class PluginLibrary {
public:
    // Loads the module and resolves every export above; null with the reason in `error` when
    // the file cannot be loaded or lacks an export. A path without a slash means a file in the
    // current directory, not a search of the library path.
    static std::unique_ptr<PluginLibrary> Load(const std::string& path, std::string& error);
    // Unloads the module: nothing obtained from it may be used afterwards.
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const PluginExports& Exports() const { return Resolved; }

private:
    PluginLibrary(void* handle, const PluginExports& exports);
    void* Handle;
    PluginExports Resolved;
};

}  // namespace flanger::tool
