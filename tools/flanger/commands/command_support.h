// What the commands share: the module they load and the effect values they start from.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "command_line/command_line.h"
#include "command_line/reporting.h"
#include "module/plugin_library.h"
#include "presets/preset_storage.h"

namespace flanger::tool {

// Loads the module the invocation selects (see LocatePlugin); null after reporting the failure.
std::unique_ptr<PluginLibrary> LoadModule(const Invocation& invocation,
                                          const std::optional<std::string>& translation = {});

// The values a command works with: those of the invocation's preset (the factory preset's, or a
// new record's when it names none), changed by the values typed. Each loaded value that is used and
// lies outside the settings window's range gets a warning; it is used all the same, as a host
// would. A location that holds no preset gets a warning, and fails process and demo unless
// --allow-missing-preset was given. nullopt after reporting a failure.
std::optional<EffectParameters> ChooseParameters(const Invocation& invocation,
                                                 const PluginExports& module, MissingFile missing);

}  // namespace flanger::tool
