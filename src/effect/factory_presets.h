// The factory presets: a few settings worth starting from, shipped with the effect. The LV2
// bundle offers each as a preset of both plug-ins (presets.ttl, written from this table), and
// the flanger command starts from one with --preset-name and lists them with `flanger presets`.
//
// Hosts store a preset's URI, which ends in its Key, in their sessions: a key never changes,
// even when the name shown does. A preset never switches the plug-in off (the bypass is the
// host's), and its Spread counts only where there are two channels: the mono plug-in's presets
// leave that port out.
#pragma once

#include <span>
#include <string_view>

#include "engine/live_settings.h"

namespace flanger {

struct FactoryPreset {
    const char* Key;          // "classic-jet": the end of the preset's URI; also typed as its name
    const char* Name;         // "Classic jet": what a host and the command show
    const char* Description;  // one sentence, for a host's tooltip and the command's listing
    LiveSettings Settings;
};

// Every factory preset, in the order hosts and the command list them.
std::span<const FactoryPreset> FactoryPresets();

// The preset whose Name or Key is `name`, in any letter case; null when none is.
const FactoryPreset* FindFactoryPreset(std::string_view name);

}  // namespace flanger
