// The record's fields and the live settings, through the controls' table.
#include "effect/effect_controls.h"

#include <cstring>

namespace flanger {

EffectSettings DefaultRecord() {
    EffectSettings record;
    std::memset(&record, 0, sizeof record);
    for (const ControlIndex index : kRecordControls) {
        record.*kControls[index].RecordField = DefaultOnGrid(kControls[index]);
    }
    return record;
}

LiveSettings SettingsOfRecord(const EffectSettings& record) {
    LiveSettings settings;
    for (const ControlIndex index : kRecordControls) {
        settings.*kControls[index].Field = record.*kControls[index].RecordField;
    }
    return settings;
}

void StoreInRecord(const LiveSettings& settings, EffectSettings& record) {
    for (const ControlIndex index : kRecordControls) {
        record.*kControls[index].RecordField = settings.*kControls[index].Field;
    }
}

bool NeedsLiveEngine(const LiveSettings& settings) {
    if (settings.InvertFeedback) return true;
    for (const Control& control : kControls) {
        if (control.Home == ControlHome::Live && control.Field != nullptr &&
            settings.*control.Field != DefaultOnGrid(control)) {
            return true;
        }
    }
    return false;
}

}  // namespace flanger
