// The module's exports: thin trampolines from the host's C calls into the engine, the parameter
// persistence and the settings window.
//
// Each export makes the module's own state current for its call (its resources, the resource
// library chosen at start-up, its window classes) and gives the caller's context back on every
// way out, checks the host's pointers, runs its body inside a catch-all (no exception may reach
// the host), and returns its documented result. Host mistakes that the original calling
// rules forbid (a null record, processing without an open stream or without a call-back,
// opening a stream twice) get a defined, harmless answer instead of a crash.
#include <cstdlib>
#include <cstring>
#include <utility>

#include "flanger_plugin.h"
#include "interface/effect_record.h"
#include "persistence/effect_parameters.h"
#include "ui/settings_window.h"
#include "windowing/framework/module_startup.h"
#include "windowing/framework/module_state.h"

#ifdef _WIN32
// The module definition file (Plugin.def) names the DLL's exports.
#define FLANGER_EXPORT extern "C"
#else
#define FLANGER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace flanger {
namespace {

constexpr char kEffectName[] = "Flanger";
constexpr char kVendorName[] = "Vornak";

template <typename Result, typename Body>
Result GuardedExport(Result onFailure, Body&& body) noexcept {
    try {
        // Inside the try: the caller's context is back before the catch-all answers.
        framework::ModuleStateScope moduleState(framework::AfxGetStaticModuleState());
        // Where the start-up waits for the first call (Windows), it runs here, once.
        framework::AfxEnsureModuleInitialized();
        return std::forward<Body>(body)();
    } catch (...) {
        return onFailure;
    }
}

// Loading never fails a record: a storage that gives up half-way (out of memory, a parser that
// fails as a component) leaves the values it did not deliver at their defaults.
void LoadIntoRecord(const StorageTarget& target, EffectSettings& record) noexcept {
    try {
        LoadEffectParameters(target, record);
    } catch (...) {
    }
}

std::int32_t CreateRecord(const StorageTarget& target, EffectSettings** settings) {
    if (settings == nullptr) return 0;
    *settings = nullptr;
    EffectSettings record = DefaultEffectSettings();
    LoadIntoRecord(target, record);
    *settings = AllocateEffectRecord(record);
    return *settings != nullptr ? 1 : 0;
}

}  // namespace
}  // namespace flanger

using namespace flanger;

FLANGER_EXPORT int32_t PlugInInfo(PlugInInformation* info) {
    return GuardedExport<int32_t>(0, [&]() -> int32_t {
        if (info == nullptr || info->Size != sizeof(PlugInInformation)) return 0;
        info->Reserved4 = 0;
        info->Name = kEffectName;
        info->Vendor = kVendorName;
        info->Reserved16 = 0x00040000;
        info->Reserved20 = 2;
        return 1;
    });
}

FLANGER_EXPORT int32_t Initialize(const char* fileName, const char* section,
                                  FlangerRegistryKey rootKey, EffectSettings** settings) {
    return GuardedExport<int32_t>(0, [&] {
        return CreateRecord({fileName, section, rootKey, nullptr}, settings);
    });
}

FLANGER_EXPORT int32_t LoadPreset(const char* fileName, const char* section,
                                  FlangerRegistryKey rootKey, EffectSettings** settings) {
    // The same as Initialize, without calling the export by name: a host that defines its own
    // Initialize must not be called in its place.
    return GuardedExport<int32_t>(0, [&] {
        return CreateRecord({fileName, section, rootKey, nullptr}, settings);
    });
}

FLANGER_EXPORT int32_t InitializeXml(SettingsNode* node, EffectSettings** settings) {
    return GuardedExport<int32_t>(0, [&] {
        return CreateRecord({nullptr, nullptr, nullptr, node}, settings);
    });
}

FLANGER_EXPORT int32_t CopySettings(EffectSettings** copy, const EffectSettings* source) {
    return GuardedExport<int32_t>(0, [&]() -> int32_t {
        if (copy == nullptr) return 0;
        *copy = nullptr;
        if (source == nullptr) return 0;
        EffectSettings record;
        std::memset(&record, 0, sizeof record);
        record.Depth = source->Depth;
        record.Delay = source->Delay;
        record.Width = source->Width;
        record.Sine = source->Sine;
        record.Feedback = source->Feedback;
        record.Speed = source->Speed;
        *copy = AllocateEffectRecord(record);
        return *copy != nullptr ? 1 : 0;
    });
}

FLANGER_EXPORT int32_t SavePreset(const char* fileName, const char* section,
                                  FlangerRegistryKey rootKey, const EffectSettings* settings) {
    return GuardedExport<int32_t>(0, [&]() -> int32_t {
        if (settings == nullptr) return 0;
        return SaveEffectParameters({fileName, section, rootKey, nullptr}, *settings);
    });
}

FLANGER_EXPORT int32_t SavePresetXml(SettingsNode* node, const EffectSettings* settings) {
    return GuardedExport<int32_t>(0, [&]() -> int32_t {
        if (settings == nullptr) return 0;
        return SaveEffectParameters({nullptr, nullptr, nullptr, node}, *settings);
    });
}

FLANGER_EXPORT FlangerWindowHandle CreateSettingsWindow(FlangerWindowHandle parent,
                                                        EffectSettings* settings) {
    return GuardedExport<FlangerWindowHandle>(
        nullptr, [&] { return ui::CreateSettingsWindowFromResources(parent, settings); });
}

FLANGER_EXPORT int32_t SetStreamCallBack(StreamCallBack callBack, uintptr_t context,
                                         EffectSettings* settings) {
    return GuardedExport<int32_t>(0, [&]() -> int32_t {
        if (settings == nullptr) return 0;
        settings->CallBack = callBack;
        settings->CallBackContext = context;
        return 1;
    });
}

FLANGER_EXPORT int32_t OpenStream(EffectSettings* settings, const StreamFormat* format) {
    // 0 is success here; 1 reports a call that opened nothing.
    return GuardedExport<int32_t>(1, [&]() -> int32_t {
        if (settings == nullptr || format == nullptr) return 1;
        // A host that opens again without closing gets the old stream released, not leaked.
        ReleaseEngine(*settings);
        auto engine = CreateEngineFor(*settings);
        engine->Open(*format);
        AttachEngine(*settings, std::move(engine));
        return 0;
    });
}

FLANGER_EXPORT uint32_t ProcessStream(StreamBuffer* buffer, EffectSettings* settings) {
    return GuardedExport<uint32_t>(0, [&]() -> uint32_t {
        if (buffer == nullptr || settings == nullptr) return 0;
        if (settings->CallBack == nullptr) {
            // No source: nothing to process, and the host learns it from the result.
            buffer->CallBackResult = 0;
            return 0;
        }
        const uint32_t result = settings->CallBack(settings->CallBackContext, buffer);
        // Without an open stream the audio passes through as the call-back left it.
        if (FlangerEngine* engine = EngineOf(*settings)) engine->Process(*buffer);
        buffer->CallBackResult = result;
        return result;
    });
}

FLANGER_EXPORT int32_t CloseStream(EffectSettings* settings) {
    return GuardedExport<int32_t>(0, [&]() -> int32_t {
        if (settings == nullptr) return 0;
        ReleaseEngine(*settings);
        return 1;
    });
}

FLANGER_EXPORT void Free(EffectSettings* settings) {
    GuardedExport<int>(0, [&] {
        if (settings == nullptr) return 0;
        ReleaseEngine(*settings);
        std::free(settings);
        return 0;
    });
}
