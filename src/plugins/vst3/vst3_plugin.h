// Vst3Plugin: one VST3 plug-in instance over PluginInstance, the instance the LV2, LADSPA and
// CLAP plug-ins run, so that every format sounds alike bit for bit.
//
// Hosts see one class that is component, audio processor and edit controller in one object: each
// interface is a record here (Face) whose first field is the interface's call table, and all
// share one reference count. The parameters are vst3_parameters.h's; the state is
// vst3_state.h's. A block's parameter changes split it at their frames: each part runs with the
// values due at its start, and PluginInstance glides to new values as it does for an LV2 host.
//
// Threads: process runs on the host's audio thread and owns Ports; every other call comes on the
// main thread. Both share the values through Shared (atomics), so that the controller and a
// state save see what the audio thread last applied, and a state load or a change made in the
// editor (vst3_view.h) reaches the audio thread at its next block. Process allocates nothing,
// takes no lock and makes no system call.
#pragma once

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "plugins/guarded_call.h"
#include "plugins/plugin_instance.h"
#include "plugins/vst3/vst3_parameters.h"
#include "plugins/vst3/vst3_results.h"

namespace flanger::plugins::vst3 {

class Vst3Plugin {
public:
    // A new instance, with one reference, as the host's component; null when memory is short.
    static v3_component** Create() noexcept;

    // [main-thread] What the editor shows and the change a person makes there: the host hears
    // of it as one edit of the parameter, and the processor takes it at its next block.
    float PortValue(std::uint32_t control) const {
        return Shared[control].load(std::memory_order_relaxed);
    }
    void ChangeFromEditor(std::uint32_t control, float port);

    // Every interface shares one count; the last release deletes the object.
    std::uint32_t Reference() { return References.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release();

private:
    // An interface of this object as the host holds it: a pointer to this record, whose first
    // field points to the interface's call table.
    struct Face {
        const void* Calls;
        Vst3Plugin* Plugin;
    };
    static Vst3Plugin& Of(void* self) { return *static_cast<Face*>(self)->Plugin; }

    Vst3Plugin();
    ~Vst3Plugin();

    // The calls of the format's interfaces, each a trampoline into a member below: the query
    // and references every interface shares here, the component's with its table in
    // vst3_plugin.cpp, the processor's in vst3_processor.cpp, the controller's in
    // vst3_controller.cpp.
    struct CommonCalls {
        static v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** object) {
            if (object == nullptr) return kInvalidArgument;
            *object = iid == nullptr ? nullptr : Of(self).Query(static_cast<Face*>(self), iid);
            return *object != nullptr ? kOk : kNoInterface;
        }
        static uint32_t V3_API Ref(void* self) { return Of(self).Reference(); }
        static uint32_t V3_API Unref(void* self) { return Of(self).Release(); }
    };
    struct ComponentCalls;
    struct ProcessorCalls;
    struct ControllerCalls;
    static const v3_component_cpp kComponentCalls;
    static const v3_audio_processor_cpp kProcessorCalls;
    static const v3_edit_controller_cpp kControllerCalls;

    // The interface `iid` of the object seen through `face`, with a reference; null if there is
    // none (each interface answers the ones the first release answered).
    void* Query(const Face* face, const v3_tuid iid);

    v3_result Initialize();
    v3_result Terminate();
    // The engine at SampleRate, its controls connected; none where it cannot run that rate.
    void MakeInstance();
    v3_result SetActive(bool active);
    v3_result GetBusInfo(int32_t mediaType, int32_t direction, int32_t index,
                         v3_bus_info& info) const;
    v3_result ActivateBus(int32_t mediaType, int32_t direction, int32_t index, bool active);
    v3_result SaveState(v3_bstream** stream) const;
    v3_result LoadState(v3_bstream** stream);

    v3_result SetArrangements(const v3_speaker_arrangement* inputs, int32_t inputCount,
                              const v3_speaker_arrangement* outputs, int32_t outputCount);
    v3_result SetupProcessing(const v3_process_setup& setup);
    v3_result SetProcessing(bool processing);
    v3_result Process(const v3_process_data& data);
    // A block's channels, as the host gave them.
    struct Audio {
        const float* Inputs[kChannels];
        float* Outputs[kChannels];
    };
    // Runs `frames` frames of the block from `offset` on with the current Ports.
    void RunSpan(const Audio& audio, std::uint32_t offset, std::uint32_t frames);
    // Moves parameter `parameter` to `normalised` from now on.
    void Apply(v3_param_id parameter, double normalised);
    // Takes the values a state load or the editor left in Shared, once.
    void TakeSharedValues();

    v3_result SetComponentHandler(v3_component_handler** handler);
    v3_plugin_view** CreateView(const char* name);

    Face Component{&kComponentCalls, this};
    Face Processor{&kProcessorCalls, this};
    Face Controller{&kControllerCalls, this};
    std::atomic<std::uint32_t> References{1};

    std::unique_ptr<PluginInstance> Instance;
    double SampleRate = 44100.0;  // until the host's setup says otherwise
    bool Initialized = false;
    bool ControllerInitialized = false;
    bool Active = false;               // since the host or the first block activated it
    bool BusActive[2] = {true, true};  // the audio input and output bus
    v3_component_handler** Handler = nullptr;
    // The controls' values as ports take them (the bypass as "enabled").
    ControlValues Ports{};
    bool PortsRun = false;  // the instance has run with Ports as they are
    std::atomic<float> Shared[kControlCount];
    std::atomic<bool> LoadPending{false};
    std::atomic<std::uint32_t> EditorChanges{0};  // a bit for each control the editor moved
    static_assert(std::atomic<float>::is_always_lock_free, "the audio thread may not lock");
};

}  // namespace flanger::plugins::vst3
