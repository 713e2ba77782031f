// The module loaded as the window commands need it: with --translation, so that its start-up
// selects that resource library (window_command.cpp tells how), otherwise as every command does.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "command_line/command_line.h"
#include "module/plugin_library.h"
#include "presets/preset_storage.h"

namespace flanger::tool {

// Checks that `translation` loads and holds the settings window, then loads the module with a
// Language.xml naming it. Null after reporting the failure.
std::unique_ptr<PluginLibrary> LoadTranslatedModule(const Invocation& invocation,
                                                    const std::string& translation);

struct RecordRelease {
    const PluginExports* Module;
    void operator()(EffectSettings* settings) const { Module->Free(settings); }
};

// What a window command shows: the module (translated when asked) and a record of the values
// the invocation chooses. The record goes before the module that made it.
struct WindowSubject {
    std::unique_ptr<PluginLibrary> Module;
    EffectParameters Parameters;
    std::unique_ptr<EffectSettings, RecordRelease> Record;
};

// Nothing after reporting the failure.
std::optional<WindowSubject> LoadWindowSubject(const Invocation& invocation);

}  // namespace flanger::tool
