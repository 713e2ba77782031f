// "flanger presets": the factory presets that --preset-name starts from, each with the options
// that give the same values, so that a person can take one as a starting point for their own.
#include <cstdio>

#include "command_line/effect_values.h"
#include "commands/commands.h"
#include "effect/factory_presets.h"

namespace flanger::tool {

int RunPresets(const Invocation&) {
    const char* separator = "";
    for (const FactoryPreset& preset : FactoryPresets()) {
        std::printf("%s%s (%s)\n    %s\n    %s\n", separator, preset.Name, preset.Key,
                    preset.Description, OptionsGiving(preset.Settings).c_str());
        separator = "\n";
    }
    return 0;
}

}  // namespace flanger::tool
