// The effect's parameter list handed to the load/save driver.
#include "persistence/effect_parameters.h"

#include "persistence/parameter_driver.h"

namespace flanger {
namespace {

// The record's fields in stored order.
template <typename Record, typename Value>
std::array<Value*, kRecordControls.size()> FieldsOf(Record& settings) {
    std::array<Value*, kRecordControls.size()> values{};
    for (std::size_t k = 0; k < kRecordControls.size(); ++k) {
        values[k] = &(settings.*kControls[kRecordControls[k]].RecordField);
    }
    return values;
}

}  // namespace

void LoadEffectParameters(const StorageTarget& target, EffectSettings& settings,
                          StorageOpener& storages) {
    const auto values = FieldsOf<EffectSettings, void>(settings);
    LoadParameters(target, kEffectParameterNames, kEffectParameterTypes, values, storages);
}

std::int32_t SaveEffectParameters(const StorageTarget& target, const EffectSettings& settings,
                                  StorageOpener& storages) {
    const auto values = FieldsOf<const EffectSettings, const void>(settings);
    return SaveParameters(target, kEffectParameterNames, kEffectParameterTypes, values, storages);
}

}  // namespace flanger
