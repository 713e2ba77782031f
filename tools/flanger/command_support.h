// Helpers the commands share.
#pragma once

#include <memory>
#include <string>

#include "command_line.h"
#include "plugin_library.h"

namespace flanger::tool {

// Writes "flanger: <message>" on standard error and returns kExitFailure.
int ReportFailure(const std::string& message);

// Loads the module the invocation selects (see LocatePlugin); null after reporting the failure.
std::unique_ptr<PluginLibrary> LoadModule(const Invocation& invocation);

}  // namespace flanger::tool
