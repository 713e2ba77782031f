// The effect's own parameter list: the six fields at the start of an EffectSettings record,
// stored under the names "Depth", "Delay", "Width", "Sine", "Feedback" and "Speed" (the controls'
// stored names, effect/effect_controls.h).
#pragma once

#include <array>
#include <cstdint>

#include "effect/effect_controls.h"
#include "flanger_plugin.h"
#include "persistence/parameter_storage.h"

namespace flanger {

inline constexpr std::array<const char*, 6> kEffectParameterNames = kStoredNames;
inline constexpr const char* kEffectParameterTypes = "INT INT INT INT INT INT";

// Loads the six parameters of `settings` from the target's storage; absent values keep theirs.
void LoadEffectParameters(const StorageTarget& target, EffectSettings& settings,
                          StorageOpener& storages = ModuleStorages());

// Saves the six parameters; the result of SaveParameters.
std::int32_t SaveEffectParameters(const StorageTarget& target, const EffectSettings& settings,
                                  StorageOpener& storages = ModuleStorages());

}  // namespace flanger
