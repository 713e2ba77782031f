// The EffectSettings record: defaults, allocation and the engine of an open stream.
#include "interface/effect_record.h"

#include <cstdlib>
#include <cstring>

namespace flanger {

EffectSettings DefaultEffectSettings() {
    EffectSettings record;
    std::memset(&record, 0, sizeof record);
    record.Depth = 90;
    record.Delay = 50;
    record.Width = 50;
    record.Sine = 0;
    record.Feedback = 10;
    record.Speed = 10;
    return record;
}

EffectSettings* AllocateEffectRecord(const EffectSettings& record) {
    auto* block = static_cast<EffectSettings*>(std::malloc(sizeof(EffectSettings)));
    if (block != nullptr) std::memcpy(block, &record, sizeof(EffectSettings));
    return block;
}

std::unique_ptr<FlangerEngine> CreateEngineFor(const EffectSettings& record) {
    auto engine = std::make_unique<FlangerEngine>();
    // Each integer widened to double and multiplied by the constant: a multiplication by 0.1 is
    // not the same as a division by 10 in the last bit, and the engine's output depends on it.
    engine->FeedbackOn = record.Feedback >= 0;
    if (engine->FeedbackOn) engine->FeedbackGain = static_cast<double>(record.Feedback) * 0.01;
    engine->SineMode = record.Sine != 0;
    engine->DelayMs = static_cast<double>(record.Delay) * 0.1;
    engine->DepthGain = static_cast<double>(record.Depth) * 0.01;
    engine->SpeedHz = static_cast<double>(record.Speed) * 0.01;
    engine->WidthMs = static_cast<double>(record.Width) * 0.1;
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
