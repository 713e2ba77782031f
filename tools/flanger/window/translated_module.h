// The module loaded as the window commands need it: with --translation, so that its start-up
// selects that resource library (window_command.cpp tells how), otherwise as every command does.
#pragma once

#include <memory>
#include <string>

#include "command_line/command_line.h"
#include "module/plugin_library.h"

namespace flanger::tool {

// Checks that `translation` loads and holds the settings window, then loads the module with a
// Language.xml naming it. Null after reporting the failure.
std::unique_ptr<PluginLibrary> LoadTranslatedModule(const Invocation& invocation,
                                                    const std::string& translation);

}  // namespace flanger::tool
