// Presets in XML settings files, handled as a host with XML settings handles them: the file is
// read into a settings tree by the tree's own reader (LoadFromFile), the preset's element is
// found along the path with FindChild, and the module reads it with InitializeXml or writes it
// with SavePresetXml. The command never interprets the six values itself.
//
// An XML parser failing as a component (flanger::platform::XmlParserError) is caught here and
// reported like any other failure to read the file.
#pragma once

#include <optional>
#include <string>

#include "command_line/effect_values.h"
#include "command_line/preset_location.h"
#include "module/plugin_library.h"
#include "presets/save_lock.h"

namespace flanger::tool {

// The six values that the element at `location` gives a new record. A file that does not exist
// or holds no such element (the root named otherwise, a name missing on the way) gives a new
// record's values, as a missing profile section does. nullopt with the reason in `error` when
// the file cannot be read as XML (not well-formed, refused by the reader as too deep or as an
// entity bomb), when the parser fails, or when the module cannot create a record. `found`, when
// given, tells whether the element exists.
std::optional<EffectParameters> LoadXmlPreset(const PluginExports& module,
                                              const PresetLocation& location, std::string& error,
                                              bool* found = nullptr);

// For an XML element, the lock that keeps other saves of its file waiting until this one has
// replaced it (see save_lock.h): taken before the stored values are read, so that the values
// this save starts from are those it replaces. A lock of nothing for the other locations, whose
// writes the module makes under locks of its own. nullopt with the reason in `error` when the
// file system refuses the lock.
std::optional<SaveLock> LockXmlPresetFile(const PresetLocation& location, std::string& error);

// Saves the six values into the element at `location` with SavePresetXml and writes the file:
// a new one when it does not exist, otherwise the old text with only the module's changes
// spliced in (see xml_preset_edit.h), and only once the new text reads back as these values.
// The file keeps its permissions and the symbolic links that lead to it. It is replaced through
// a temporary file in its directory where that changes nothing but the bytes, otherwise (a
// folder that takes no new file, a hard link, another user's file) rewritten in place, as the
// module rewrites such profile files (platform/posix/in_place_update.h). False with the whole
// message in `error` otherwise; the file is then as it was.
bool SaveXmlPreset(const PluginExports& module, const PresetLocation& location,
                   const EffectParameters& parameters, std::string& error);

}  // namespace flanger::tool
