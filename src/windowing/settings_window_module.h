// The module (Plugin.so) as a front end that only shows its settings window loads it: the LV2
// plug-in's user interface, which runs in the host's process apart from the plug-in itself and
// reaches the settings window through the module's exports, as any host does.
#pragma once

#include <optional>
#include <string>

#include "flanger_plugin.h"

namespace flanger::platform {

struct SettingsWindowModule {
    decltype(&::Initialize) Initialize = nullptr;
    decltype(&::Free) Free = nullptr;
    decltype(&::CreateSettingsWindow) CreateSettingsWindow = nullptr;
};

// Loads Plugin.so from `directory` (with its trailing slash) when it is there, else the one
// beside the windowing layer's library, whose windows it shares, or in the installed module
// directory relative to that library; on Windows Plugin.dll from `directory` or beside the
// library that calls. The module stays loaded for the rest of the process (windows of it may
// outlive their user). nullopt when none loads or the exports are missing.
std::optional<SettingsWindowModule> LoadSettingsWindowModule(const std::string& directory);

}  // namespace flanger::platform
