// Presets read and written through the module's LoadPreset and SavePreset, as a host does: the
// command never reads or writes a profile file or the registry itself. Where the exports cannot
// tell (whether a location holds a preset at all, whether the registry was read), it asks the
// platform layer the module's storages read through, and never writes there. XML presets go
// through InitializeXml and SavePresetXml on a settings tree (xml_preset_file.h).
//
// The module answers a preset that is not there with the defaults, and a save that failed with
// 0 but no reason, so these functions add what a person needs to hear about: a preset file that
// does not exist or cannot be read, a save that did not arrive, and why where the file system
// tells (a folder or file that cannot be written, another process holding the file's lock).
// Whether a save arrived is also judged by reading it back, and for a profile file by its
// existence, since a lost save of a new effect's values would read back as those values all the
// same. A registry save of exactly those values that loses them unreported goes unnoticed; the
// exports offer no way to tell.
#pragma once

#include <optional>
#include <string>

#include "command_line/effect_values.h"
#include "command_line/preset_location.h"
#include "module/plugin_library.h"

namespace flanger::tool {

enum class MissingFile { Refused, Allowed };

// The six values stored at `location`; the defaults of a new record for those not stored.
// nullopt with the reason in `error` when the profile or XML file does not exist (unless
// allowed), cannot be read or is not a regular file, when an XML file cannot be read as XML, or
// when the module cannot create a record. `absence`, when given, receives why the location
// holds no preset at all (a section without any of the six values, a registry key or XML
// element that does not exist), so that the caller can warn; empty otherwise.
std::optional<EffectParameters> LoadPresetParameters(const PluginExports& module,
                                                     const PresetLocation& location,
                                                     MissingFile missing, std::string& error,
                                                     std::string* absence = nullptr);

// Stores the six values at `location` and reads them back. False with the reason in `error`
// when a profile or XML file's folder is missing, when the file is not writable or, where it
// does not exist yet, its folder (nothing is saved then), when an existing XML file cannot be
// read as XML, when the module reports a failure (naming the process that held the file's lock
// past the wait, where that was the reason), or when the location does not then hold the values.
bool SavePresetParameters(const PluginExports& module, const PresetLocation& location,
                          const EffectParameters& parameters, std::string& error);

// A new record of the module (as Initialize makes it without a preset) holding `parameters`;
// null when the module cannot create one. The caller releases it with module.Free.
EffectSettings* NewRecord(const PluginExports& module, const EffectParameters& parameters);

// The six values of a record.
EffectParameters ParametersOf(const EffectSettings& settings);

}  // namespace flanger::tool
