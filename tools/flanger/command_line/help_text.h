// The text of "flanger --help".
#pragma once

#include <string_view>

namespace flanger::tool {

// Documents every command and option; ends with a newline.
std::string_view HelpText();

}  // namespace flanger::tool
