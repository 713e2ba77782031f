// Vst3Plugin: its life, the query for its interfaces, and the component (buses and state).
#include "plugins/vst3/vst3_plugin.h"

#include <cstring>
#include <new>
#include <string>

#include "plugins/vst3/vst3_class_ids.h"
#include "plugins/vst3/vst3_state.h"

namespace flanger::plugins::vst3 {

namespace {

// The processor's one companion: it needs nothing of the host's process context.
struct ContextRequirements {
    static v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        const bool known =
            iid != nullptr && (v3_tuid_match(iid, v3_funknown_iid) ||
                               v3_tuid_match(iid, v3_process_context_requirements_iid));
        *object = known ? self : nullptr;
        return known ? kOk : kNoInterface;
    }
    static uint32_t V3_API Ref(void*) { return 1; }
    static uint32_t V3_API Unref(void*) { return 0; }
    static uint32_t V3_API None(void*) { return 0; }
    static const v3_process_context_requirements_cpp kCalls;
    static const ContextRequirements kObject;
    const v3_process_context_requirements_cpp* Calls;
};
const v3_process_context_requirements_cpp ContextRequirements::kCalls = {
    {QueryInterface, Ref, Unref}, {None}};
const ContextRequirements ContextRequirements::kObject = {&kCalls};

}  // namespace

Vst3Plugin::Vst3Plugin() {
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        Ports[control] = kControls[control].Default;
        Shared[control].store(Ports[control], std::memory_order_relaxed);
    }
}

Vst3Plugin::~Vst3Plugin() {
    if (Handler != nullptr) v3_cpp_obj_unref(Handler);
}

v3_component** Vst3Plugin::Create() noexcept {
    Vst3Plugin* plugin = new (std::nothrow) Vst3Plugin;
    return plugin == nullptr ? nullptr : reinterpret_cast<v3_component**>(&plugin->Component);
}

std::uint32_t Vst3Plugin::Release() {
    const std::uint32_t left = References.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

void* Vst3Plugin::Query(const Face* face, const v3_tuid iid) {
    const bool unknown = v3_tuid_match(iid, v3_funknown_iid);
    void* found = nullptr;
    if (face == &Component) {
        if (unknown || v3_tuid_match(iid, v3_plugin_base_iid) ||
            v3_tuid_match(iid, v3_component_iid)) {
            found = &Component;
        } else if (v3_tuid_match(iid, v3_audio_processor_iid)) {
            found = &Processor;
        } else if (v3_tuid_match(iid, v3_edit_controller_iid)) {
            found = &Controller;
        }
    } else if (face == &Processor) {
        if (unknown || v3_tuid_match(iid, v3_audio_processor_iid)) found = &Processor;
        if (v3_tuid_match(iid, v3_process_context_requirements_iid)) {
            return const_cast<ContextRequirements*>(&ContextRequirements::kObject);
        }
    } else if (unknown || v3_tuid_match(iid, v3_plugin_base_iid) ||
               v3_tuid_match(iid, v3_edit_controller_iid)) {
        found = &Controller;
    }
    if (found != nullptr) Reference();
    return found;
}

void Vst3Plugin::MakeInstance() {
    Instance = PluginInstance::Create(SampleRate, kChannels);
    if (Instance == nullptr) return;
    for (std::uint32_t k = 0; k < kParameters.Count; ++k) {
        const std::uint32_t control = kParameters.Controls[k];
        Instance->ConnectPort(ControlPortIndex(kChannels, control), &Ports[control]);
    }
}

v3_result Vst3Plugin::Initialize() {
    if (Initialized) return kInvalidArgument;
    MakeInstance();
    Initialized = true;
    return kOk;
}

v3_result Vst3Plugin::Terminate() {
    if (!Initialized) return kInvalidArgument;
    Instance.reset();
    Initialized = Active = false;
    return kOk;
}

v3_result Vst3Plugin::SetActive(bool active) {
    if (active && !Active && Instance != nullptr) Instance->Activate();
    Active = active;
    return kOk;
}

v3_result Vst3Plugin::GetBusInfo(int32_t mediaType, int32_t direction, int32_t index,
                                 v3_bus_info& info) const {
    if (mediaType != V3_AUDIO || (direction != V3_INPUT && direction != V3_OUTPUT) || index != 0) {
        return kInvalidArgument;
    }
    info = v3_bus_info{};
    info.media_type = V3_AUDIO;
    info.direction = direction;
    info.channel_count = static_cast<int32_t>(kChannels);
    CopyUtf16(info.bus_name, 128, direction == V3_INPUT ? "Audio Input" : "Audio Output");
    info.bus_type = V3_MAIN;
    info.flags = V3_DEFAULT_ACTIVE;
    return kOk;
}

v3_result Vst3Plugin::ActivateBus(int32_t mediaType, int32_t direction, int32_t index,
                                  bool active) {
    if ((direction != V3_INPUT && direction != V3_OUTPUT) || index < 0) return kInvalidArgument;
    if (mediaType == V3_AUDIO && index == 0) BusActive[direction] = active;
    return kOk;
}

v3_result Vst3Plugin::SaveState(v3_bstream** stream) const {
    ControlValues values{};
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        values[control] = Shared[control].load(std::memory_order_relaxed);
    }
    StateBytes bytes{};
    const std::size_t size = EncodeState(values, bytes);
    for (std::size_t written = 0; written < size;) {
        int32_t step = 0;
        const v3_result result = v3_cpp_obj(stream)->write(
            stream, bytes.data() + written, static_cast<int32_t>(size - written), &step);
        if (result != kOk) return result;
        if (step <= 0) return kInternalError;
        written += static_cast<std::size_t>(step);
    }
    return kOk;
}

v3_result Vst3Plugin::LoadState(v3_bstream** stream) {
    // States are a few hundred bytes; one far longer is not ours.
    constexpr std::size_t kMostBytes = 1 << 16;
    std::string bytes;
    char chunk[512];
    while (bytes.size() < kMostBytes) {
        int32_t got = 0;
        const v3_result result = v3_cpp_obj(stream)->read(stream, chunk, sizeof chunk, &got);
        if (result != kOk) return result;
        if (got <= 0) break;
        const std::size_t size = std::min(static_cast<std::size_t>(got), sizeof chunk);
        bytes.append(chunk, size);
        if (std::memchr(chunk, '\xfe', size) != nullptr) break;
    }
    ControlValues values{};
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        values[control] = Shared[control].load(std::memory_order_relaxed);
    }
    if (!DecodeState(bytes.data(), bytes.size(), values)) return kInternalError;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        Shared[control].store(values[control], std::memory_order_relaxed);
    }
    LoadPending.store(true, std::memory_order_release);
    if (Handler != nullptr) {
        v3_cpp_obj(Handler)->restart_component(Handler, V3_RESTART_PARAM_VALUES_CHANGED);
    }
    return kOk;
}

struct Vst3Plugin::ComponentCalls {
    static v3_result V3_API Initialize(void* self, v3_funknown**) {
        return Guarded(kOutOfMemory, [&] { return Of(self).Initialize(); });
    }
    static v3_result V3_API Terminate(void* self) { return Of(self).Terminate(); }
    // The controller is this object; hosts that make one by this id get none from the factory.
    static v3_result V3_API ControllerClassId(void*, v3_tuid classId) {
        if (classId == nullptr) return kInvalidArgument;
        std::memcpy(classId, kControllerWords, sizeof(v3_tuid));
        return kOk;
    }
    static v3_result V3_API SetIoMode(void*, int32_t) { return kNotImplemented; }
    static int32_t V3_API BusCount(void*, int32_t mediaType, int32_t direction) {
        return mediaType == V3_AUDIO && (direction == V3_INPUT || direction == V3_OUTPUT) ? 1 : 0;
    }
    static v3_result V3_API BusInfo(void* self, int32_t mediaType, int32_t direction, int32_t index,
                                    v3_bus_info* info) {
        if (info == nullptr) return kInvalidArgument;
        return Of(self).GetBusInfo(mediaType, direction, index, *info);
    }
    static v3_result V3_API RoutingInfo(void*, v3_routing_info*, v3_routing_info*) {
        return kNotImplemented;
    }
    static v3_result V3_API ActivateBus(void* self, int32_t mediaType, int32_t direction,
                                        int32_t index, v3_bool active) {
        return Of(self).ActivateBus(mediaType, direction, index, active != 0);
    }
    static v3_result V3_API SetActive(void* self, v3_bool active) {
        return Of(self).SetActive(active != 0);
    }
    static v3_result V3_API SetState(void* self, v3_bstream** stream) {
        if (stream == nullptr) return kInvalidArgument;
        return Guarded(kOutOfMemory, [&] { return Of(self).LoadState(stream); });
    }
    static v3_result V3_API GetState(void* self, v3_bstream** stream) {
        if (stream == nullptr) return kInvalidArgument;
        return Of(self).SaveState(stream);
    }
};

const v3_component_cpp Vst3Plugin::kComponentCalls = {
    {CommonCalls::QueryInterface, CommonCalls::Ref, CommonCalls::Unref},
    {ComponentCalls::Initialize, ComponentCalls::Terminate},
    {ComponentCalls::ControllerClassId, ComponentCalls::SetIoMode, ComponentCalls::BusCount,
     ComponentCalls::BusInfo, ComponentCalls::RoutingInfo, ComponentCalls::ActivateBus,
     ComponentCalls::SetActive, ComponentCalls::SetState, ComponentCalls::GetState}};

}  // namespace flanger::plugins::vst3
