// The effect's parameter list handed to the load/save driver.
#include "persistence/effect_parameters.h"

#include "persistence/parameter_driver.h"

namespace flanger {

void LoadEffectParameters(const StorageTarget& target, EffectSettings& settings,
                          StorageOpener& storages) {
    void* const values[] = {&settings.Depth, &settings.Delay,    &settings.Width,
                            &settings.Sine,  &settings.Feedback, &settings.Speed};
    LoadParameters(target, kEffectParameterNames, kEffectParameterTypes, values, storages);
}

std::int32_t SaveEffectParameters(const StorageTarget& target, const EffectSettings& settings,
                                  StorageOpener& storages) {
    const void* const values[] = {&settings.Depth, &settings.Delay,    &settings.Width,
                                  &settings.Sine,  &settings.Feedback, &settings.Speed};
    return SaveParameters(target, kEffectParameterNames, kEffectParameterTypes, values, storages);
}

}  // namespace flanger
