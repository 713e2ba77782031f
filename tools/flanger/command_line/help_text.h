// The text of "flanger --help" and of "flanger COMMAND --help".
#pragma once

#include <optional>
#include <string>

#include "command_line/command_line.h"

namespace flanger::tool {

// Every command and option without a topic; with one, that command's usage, what it does and
// the options it takes. Ends with a newline.
std::string HelpText(std::optional<Command> topic = std::nullopt);

}  // namespace flanger::tool
