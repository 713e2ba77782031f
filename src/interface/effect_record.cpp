// The EffectSettings record: defaults, allocation and the engine of an open stream.
#include "interface/effect_record.h"

#include <cstdlib>
#include <cstring>

#include "effect/effect_controls.h"

namespace flanger {

EffectSettings DefaultEffectSettings() { return DefaultRecord(); }

EffectSettings* AllocateEffectRecord(const EffectSettings& record) {
    auto* block = static_cast<EffectSettings*>(std::malloc(sizeof(EffectSettings)));
    if (block != nullptr) std::memcpy(block, &record, sizeof(EffectSettings));
    return block;
}

std::unique_ptr<FlangerEngine> CreateEngineFor(const EffectSettings& record) {
    auto engine = std::make_unique<FlangerEngine>();
    engine->SetParameters(ToEngineParameters(SettingsOfRecord(record)));
    return engine;
}

FlangerEngine* EngineOf(const EffectSettings& record) {
    return static_cast<FlangerEngine*>(record.Engine);
}

void AttachEngine(EffectSettings& record, std::unique_ptr<FlangerEngine> engine) {
    record.Engine = engine.release();
}

void ReleaseEngine(EffectSettings& record) {
    delete EngineOf(record);
    record.Engine = nullptr;
}

}  // namespace flanger
