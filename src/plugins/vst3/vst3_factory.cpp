// The VST3 module flanger.vst3 (or flanger-mono.vst3): its exports and the factory offering its
// one class (vst3_class_ids.h), a Vst3Plugin. Only the exports below are visible (vst3.map on
// Linux, dllexport on Windows); no exception leaves the module.
#include <travesty/factory.h>

#include <cstdio>
#include <cstring>

#include "plugins/vst3/vst3_class_ids.h"
#include "plugins/vst3/vst3_plugin.h"

#ifdef _WIN32
#define FLANGER_VST3_EXPORT extern "C" __declspec(dllexport)
#else
#define FLANGER_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace flanger::plugins::vst3 {
namespace {

constexpr const char* kVersion = "1.0.0";
// The headers the first release was built with, as hosts were told.
constexpr const char* kSdkVersion = "Travesty 3.7.4";
constexpr const char* kSubcategories = "Fx|Modulation";

const PluginIdentity& Identity() { return kPlugins[kChannels - 1]; }

void Copy(char* out, std::size_t size, const char* text) { std::snprintf(out, size, "%s", text); }

// Class `index`: 0 the plug-in; 1 and 2 the controller, which hosts of the first release could
// ask about although the factory counts one class.
bool ClassOf(int32_t index, v3_tuid id, char (&category)[32]) {
    if (index < 0 || index > 2) return false;
    std::memcpy(id, index == 0 ? kClassWords : kControllerWords, sizeof(v3_tuid));
    Copy(category, sizeof category,
         index == 0 ? "Audio Module Class" : "Component Controller Class");
    return true;
}

// The class flags: none where the editor shares the processor's object, which a host may not
// split across processes.
constexpr uint32_t kClassFlags = FLANGER_VST3_EDITOR ? 0 : V3_DISTRIBUTABLE;

struct FactoryCalls {
    static v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        const bool known = iid != nullptr && (v3_tuid_match(iid, v3_funknown_iid) ||
                                              v3_tuid_match(iid, v3_plugin_factory_iid) ||
                                              v3_tuid_match(iid, v3_plugin_factory_2_iid) ||
                                              v3_tuid_match(iid, v3_plugin_factory_3_iid));
        *object = known ? self : nullptr;
        return known ? kOk : kNoInterface;
    }
    // One factory lives as long as the module.
    static uint32_t V3_API Ref(void*) { return 1; }
    static uint32_t V3_API Unref(void*) { return 0; }

    static v3_result V3_API FactoryInfo(void*, v3_factory_info* info) {
        if (info == nullptr) return kInvalidArgument;
        *info = v3_factory_info{};
        Copy(info->vendor, sizeof info->vendor, kVendor);
        info->flags = 0x10;  // the strings hosts get as UTF-16 are UTF-16
        return kOk;
    }
    static int32_t V3_API ClassCount(void*) { return 1; }
    static v3_result V3_API ClassInfo(void*, int32_t index, v3_class_info* info) {
        if (info == nullptr) return kInvalidArgument;
        *info = v3_class_info{};
        if (!ClassOf(index, info->class_id, info->category)) return kInvalidArgument;
        info->cardinality = 0x7FFFFFFF;
        Copy(info->name, sizeof info->name, Identity().Name);
        return kOk;
    }
    static v3_result V3_API CreateInstance(void*, const v3_tuid classId, const v3_tuid iid,
                                           void** instance) {
        if (instance == nullptr) return kInvalidArgument;
        *instance = nullptr;
        if (classId == nullptr || iid == nullptr ||
            std::memcmp(classId, kClassWords, sizeof(v3_tuid)) != 0 ||
            !(v3_tuid_match(iid, v3_component_iid) || v3_tuid_match(iid, v3_funknown_iid))) {
            return kNoInterface;
        }
        *instance = Vst3Plugin::Create();
        return *instance != nullptr ? kOk : kOutOfMemory;
    }
    static v3_result V3_API ClassInfo2(void*, int32_t index, v3_class_info_2* info) {
        if (info == nullptr) return kInvalidArgument;
        *info = v3_class_info_2{};
        if (!ClassOf(index, info->class_id, info->category)) return kInvalidArgument;
        info->cardinality = 0x7FFFFFFF;
        info->class_flags = kClassFlags;
        Copy(info->name, sizeof info->name, Identity().Name);
        Copy(info->sub_categories, sizeof info->sub_categories, kSubcategories);
        Copy(info->vendor, sizeof info->vendor, kVendor);
        Copy(info->version, sizeof info->version, kVersion);
        Copy(info->sdk_version, sizeof info->sdk_version, kSdkVersion);
        return kOk;
    }
    static v3_result V3_API ClassInfoUtf16(void*, int32_t index, v3_class_info_3* info) {
        if (info == nullptr) return kInvalidArgument;
        *info = v3_class_info_3{};
        if (!ClassOf(index, info->class_id, info->category)) return kInvalidArgument;
        info->cardinality = 0x7FFFFFFF;
        info->class_flags = kClassFlags;
        CopyUtf16(info->name, 64, Identity().Name);
        Copy(info->sub_categories, sizeof info->sub_categories, kSubcategories);
        CopyUtf16(info->vendor, 64, kVendor);
        CopyUtf16(info->version, 64, kVersion);
        CopyUtf16(info->sdk_version, 64, kSdkVersion);
        return kOk;
    }
    // The plug-in asks nothing of the host application.
    static v3_result V3_API SetHostContext(void*, v3_funknown**) { return kOk; }

    static const v3_plugin_factory_cpp kTable;
};

const v3_plugin_factory_cpp FactoryCalls::kTable = {
    {FactoryCalls::QueryInterface, FactoryCalls::Ref, FactoryCalls::Unref},
    {FactoryCalls::FactoryInfo, FactoryCalls::ClassCount, FactoryCalls::ClassInfo,
     FactoryCalls::CreateInstance},
    {FactoryCalls::ClassInfo2},
    {FactoryCalls::ClassInfoUtf16, FactoryCalls::SetHostContext}};

// The factory as hosts hold it: a pointer to this record.
struct Factory {
    const v3_plugin_factory_cpp* Calls;
};
const Factory kFactory = {&FactoryCalls::kTable};

}  // namespace
}  // namespace flanger::plugins::vst3

// [thread-safe] The module's one factory; it never goes away.
FLANGER_VST3_EXPORT const void* GetPluginFactory(void) { return &flanger::plugins::vst3::kFactory; }

// Loading and unloading the module: there is nothing to set up or tear down.
#ifdef _WIN32
FLANGER_VST3_EXPORT bool InitDll(void) { return true; }
FLANGER_VST3_EXPORT bool ExitDll(void) { return true; }
#else
FLANGER_VST3_EXPORT bool ModuleEntry(void*) { return true; }
FLANGER_VST3_EXPORT bool ModuleExit(void) { return true; }
#endif
