// The EffectSettings record as the module manages it: creation with the defaults, and the
// engine that an open stream keeps in it.
#pragma once

#include <memory>

#include "engine/flanger_engine.h"
#include "flanger_plugin.h"

namespace flanger {

// A record with the defaults Depth 90, Delay 50, Width 50, Sine 0, Feedback 10, Speed 10 and no
// engine or call-back, as a value.
EffectSettings DefaultEffectSettings();

// Copies `record` into a block from malloc, the allocator Free returns it to; null when no
// memory is left.
EffectSettings* AllocateEffectRecord(const EffectSettings& record);

// An engine whose parameters are the record's six values, scaled to the engine's units;
// not yet opened.
std::unique_ptr<FlangerEngine> CreateEngineFor(const EffectSettings& record);

// The engine of the record's open stream, or null.
FlangerEngine* EngineOf(const EffectSettings& record);

// Hands an engine to the record (which must have none).
void AttachEngine(EffectSettings& record, std::unique_ptr<FlangerEngine> engine);

// Destroys the record's engine, if any, and clears the field.
void ReleaseEngine(EffectSettings& record);

}  // namespace flanger
