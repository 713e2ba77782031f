// Vst3Plugin as the edit controller: the parameters as hosts see them, the host's component
// handler, the editor's view and the changes a person makes there. All of it [main-thread].
#include <cstring>

#include "plugins/vst3/vst3_plugin.h"
#if FLANGER_VST3_EDITOR
#include "plugins/vst3/vst3_view.h"
#endif

namespace flanger::plugins::vst3 {

void Vst3Plugin::ChangeFromEditor(std::uint32_t control, float port) {
    const std::uint32_t parameter = kParameters.ParameterOf(control);
    if (parameter == kParameters.Count) return;
    Shared[control].store(port, std::memory_order_relaxed);
    EditorChanges.fetch_or(1u << control, std::memory_order_release);
    if (Handler == nullptr) return;
    const double normalised = PlainToNormalised(parameter, PlainOfPort(control, port));
    v3_component_handler* calls = v3_cpp_obj(Handler);
    calls->begin_edit(Handler, parameter);
    calls->perform_edit(Handler, parameter, normalised);
    calls->end_edit(Handler, parameter);
}

v3_result Vst3Plugin::SetComponentHandler(v3_component_handler** handler) {
    if (handler == Handler) return kOk;
    if (handler != nullptr) v3_cpp_obj_ref(handler);
    if (Handler != nullptr) v3_cpp_obj_unref(Handler);
    Handler = handler;
    return kOk;
}

v3_plugin_view** Vst3Plugin::CreateView(const char* name) {
    if (name == nullptr || std::strcmp(name, "editor") != 0) return nullptr;
#if FLANGER_VST3_EDITOR
    return Vst3View::Create(*this);
#else
    return nullptr;
#endif
}

struct Vst3Plugin::ControllerCalls {
    static v3_result V3_API Initialize(void* self, v3_funknown**) {
        Vst3Plugin& plugin = Of(self);
        if (plugin.ControllerInitialized) return kInvalidArgument;
        plugin.ControllerInitialized = true;
        return kOk;
    }
    static v3_result V3_API Terminate(void* self) {
        Vst3Plugin& plugin = Of(self);
        if (!plugin.ControllerInitialized) return kInvalidArgument;
        plugin.ControllerInitialized = false;
        return kOk;
    }
    // The component's state is this object's own: nothing to take from it.
    static v3_result V3_API SetComponentState(void*, v3_bstream**) { return kOk; }
    static v3_result V3_API NoState(void*, v3_bstream**) { return kNotImplemented; }
    static int32_t V3_API Count(void*) { return static_cast<int32_t>(kParameters.Count); }
    static v3_result V3_API Info(void*, int32_t index, v3_param_info* info) {
        if (info == nullptr) return kInvalidArgument;
        if (index < 0 || static_cast<std::uint32_t>(index) >= kParameters.Count) {
            *info = v3_param_info{};
            info->param_id = static_cast<v3_param_id>(index);
            return kInvalidArgument;
        }
        DescribeParameter(static_cast<std::uint32_t>(index), *info);
        return kOk;
    }
    static v3_result V3_API Text(void*, v3_param_id id, double normalised, v3_str_128 text) {
        if (!(normalised >= 0.0 && normalised <= 1.0) || id >= kParameters.Count ||
            text == nullptr) {
            return kInvalidArgument;
        }
        TextOfNormalised(id, normalised, text);
        return kOk;
    }
    static v3_result V3_API ValueOfText(void*, v3_param_id id, int16_t* text, double* value) {
        if (id >= kParameters.Count || text == nullptr || value == nullptr) return kInvalidArgument;
        char ascii[128];
        CopyFromUtf16(ascii, sizeof ascii, text);
        *value = NormalisedOfText(id, ascii);
        return kOk;
    }
    static double V3_API ToPlain(void*, v3_param_id id, double normalised) {
        if (!(normalised >= 0.0 && normalised <= 1.0) || id >= kParameters.Count) return 0.0;
        return NormalisedToPlain(id, normalised);
    }
    static double V3_API ToNormalised(void*, v3_param_id id, double plain) {
        return id < kParameters.Count ? PlainToNormalised(id, plain) : 0.0;
    }
    static double V3_API Normalised(void* self, v3_param_id id) {
        if (id >= kParameters.Count) return 0.0;
        const std::uint32_t control = kParameters.Controls[id];
        return PlainToNormalised(id, PlainOfPort(control, Of(self).PortValue(control)));
    }
    // The host's own display of a value it sends the processor too, in a block's queue: the
    // controller (what the host reads back, and the editor) shows it at once, also while no
    // block runs; the processor takes it from the queue alone.
    static v3_result V3_API SetNormalised(void* self, v3_param_id id, double normalised) {
        if (!(normalised >= 0.0 && normalised <= 1.0) || id >= kParameters.Count) {
            return kInvalidArgument;
        }
        Vst3Plugin& plugin = Of(self);
        const std::uint32_t control = kParameters.Controls[id];
        float port = plugin.PortValue(control);
        if (MovePort(id, normalised, port)) {
            plugin.Shared[control].store(port, std::memory_order_relaxed);
        }
        return kOk;
    }
    static v3_result V3_API SetHandler(void* self, v3_component_handler** handler) {
        return Of(self).SetComponentHandler(handler);
    }
    static v3_plugin_view** V3_API CreateView(void* self, const char* name) {
        return Guarded(static_cast<v3_plugin_view**>(nullptr),
                       [&] { return Of(self).CreateView(name); });
    }
};

const v3_edit_controller_cpp Vst3Plugin::kControllerCalls = {
    {CommonCalls::QueryInterface, CommonCalls::Ref, CommonCalls::Unref},
    {ControllerCalls::Initialize, ControllerCalls::Terminate},
    {ControllerCalls::SetComponentState, ControllerCalls::NoState, ControllerCalls::NoState,
     ControllerCalls::Count, ControllerCalls::Info, ControllerCalls::Text,
     ControllerCalls::ValueOfText, ControllerCalls::ToPlain, ControllerCalls::ToNormalised,
     ControllerCalls::Normalised, ControllerCalls::SetNormalised, ControllerCalls::SetHandler,
     ControllerCalls::CreateView}};

}  // namespace flanger::plugins::vst3
