// The built module as a host sees it: loaded with dlopen, every export looked up by its
// undecorated name and called through a function pointer typed with the host's own records.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "host_records.h"

namespace host {

// The host's declarations of the twelve exports, argument order as the host calls them.
struct PluginExports {
    std::int32_t (*PlugInInfo)(PlugInInformation* info);
    std::int32_t (*Initialize)(const char* fileName, const char* section, void* rootKey,
                               EffectSettings** settings);
    std::int32_t (*LoadPreset)(const char* fileName, const char* section, void* rootKey,
                               EffectSettings** settings);
    std::int32_t (*InitializeXml)(void* node, EffectSettings** settings);
    std::int32_t (*CopySettings)(EffectSettings** copy, const EffectSettings* source);
    std::int32_t (*SavePreset)(const char* fileName, const char* section, void* rootKey,
                               const EffectSettings* settings);
    std::int32_t (*SavePresetXml)(void* node, const EffectSettings* settings);
    std::int32_t (*SetStreamCallBack)(StreamCallBack callBack, std::uintptr_t context,
                                      EffectSettings* settings);
    std::int32_t (*OpenStream)(EffectSettings* settings, const StreamFormat* format);
    std::uint32_t (*ProcessStream)(StreamBuffer* buffer, EffectSettings* settings);
    std::int32_t (*CloseStream)(EffectSettings* settings);
    void (*Free)(EffectSettings* settings);
};

inline constexpr std::array<const char*, 12> kExportNames = {
    "PlugInInfo",   "Initialize",    "LoadPreset",    "InitializeXml",
    "CopySettings", "SavePreset",    "SavePresetXml", "SetStreamCallBack",
    "OpenStream",   "ProcessStream", "CloseStream",   "Free"};

struct LoadedPlugin {
    PluginExports exports{};
    // Empty when the module loaded and every export resolved; otherwise what went wrong.
    std::string error;
};

// Fills `exports` with what `find` gives for each of kExportNames (the platform's symbol lookup
// in a loaded module). Returns the names it could not find; empty when all resolved.
std::string ResolveExports(const std::function<void*(const char*)>& find, PluginExports& exports);

// Loads the module built with these tests (once per process; a host keeps it loaded while it
// holds records, so it is never unloaded).
const LoadedPlugin& LoadPlugin();

}  // namespace host
