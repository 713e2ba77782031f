// Vst3Plugin as the audio processor: the speaker arrangements, the setup, and one block split at
// its parameter changes.
#include <algorithm>
#include <cstring>

#include "plugins/vst3/vst3_plugin.h"

namespace flanger::plugins::vst3 {
namespace {

// The one arrangement each bus takes.
constexpr v3_speaker_arrangement kArrangement =
    kChannels == 1 ? v3_speaker_arrangement{V3_SPEAKER_M}
                   : v3_speaker_arrangement{V3_SPEAKER_L | V3_SPEAKER_R};

// The channels of the first bus of `buses`, and how many there are; none where the host gave
// none or turned the bus off. A missing channel PluginInstance takes as silence in and nothing
// out.
float* const* ChannelsOf(const v3_audio_bus_buffers* buses, int32_t count, bool active,
                         std::uint32_t& channels) {
    channels = 0;
    if (!active || buses == nullptr || count < 1 || buses[0].channel_buffers_32 == nullptr ||
        buses[0].num_channels < 1) {
        return nullptr;
    }
    channels = static_cast<std::uint32_t>(buses[0].num_channels);
    return buses[0].channel_buffers_32;
}

// Where the block is in one parameter's queue of changes: the next point, while there is one.
struct QueueCursor {
    v3_param_value_queue** Queue;
    v3_param_id Parameter;
    int32_t Points;
    int32_t Next;
    int32_t Offset;
    double Value;

    bool Load() {
        if (Next < Points && v3_cpp_obj(Queue)->get_point(Queue, Next, &Offset, &Value) == kOk) {
            return true;
        }
        Next = Points;
        return false;
    }
};

}  // namespace

v3_result Vst3Plugin::SetArrangements(const v3_speaker_arrangement* inputs, int32_t inputCount,
                                      const v3_speaker_arrangement* outputs, int32_t outputCount) {
    if (inputCount < 0 || outputCount < 0) return kInvalidArgument;
    if ((inputCount > 0 && inputs == nullptr) || (outputCount > 0 && outputs == nullptr)) {
        return kInvalidArgument;
    }
    // A bus left out is off; one given any other arrangement stays as it was.
    bool taken = true;
    const v3_speaker_arrangement* asked[2] = {inputs, outputs};
    const int32_t counts[2] = {inputCount, outputCount};
    for (int direction = 0; direction < 2; ++direction) {
        if (counts[direction] == 0) {
            BusActive[direction] = false;
        } else if (asked[direction][0] == kArrangement) {
            BusActive[direction] = true;
        } else {
            taken = false;
        }
    }
    return taken ? kOk : kInternalError;
}

v3_result Vst3Plugin::SetupProcessing(const v3_process_setup& setup) {
    if (setup.symbolic_sample_size != V3_SAMPLE_32) return kInvalidArgument;
    if (setup.sample_rate != SampleRate || (Initialized && Instance == nullptr)) {
        SampleRate = setup.sample_rate;
        if (Initialized) MakeInstance();
    }
    // The setup starts the effect afresh, as a new activation would.
    if (Active && Instance != nullptr) Instance->Activate();
    return kOk;
}

v3_result Vst3Plugin::SetProcessing(bool processing) {
    if (!processing) {
        Active = false;
        return kOk;
    }
    return SetActive(true);
}

void Vst3Plugin::TakeSharedValues() {
    // Plain loads first: an exchange in every block costs as much as a small block's setup.
    if (LoadPending.load(std::memory_order_relaxed) &&
        LoadPending.exchange(false, std::memory_order_acquire)) {
        for (std::uint32_t control = 0; control < kControlCount; ++control) {
            Ports[control] = Shared[control].load(std::memory_order_relaxed);
        }
        PortsRun = false;
    }
    std::uint32_t changes = EditorChanges.load(std::memory_order_relaxed);
    if (changes == 0) return;
    changes = EditorChanges.exchange(0, std::memory_order_acquire);
    PortsRun = false;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if ((changes & (1u << control)) != 0) {
            Ports[control] = Shared[control].load(std::memory_order_relaxed);
        }
    }
}

void Vst3Plugin::Apply(v3_param_id parameter, double normalised) {
    const std::uint32_t control = kParameters.Controls[parameter];
    if (MovePort(parameter, normalised, Ports[control])) {
        Shared[control].store(Ports[control], std::memory_order_relaxed);
        PortsRun = false;
    }
}

v3_result Vst3Plugin::Process(const v3_process_data& data) {
    if (data.symbolic_sample_size != V3_SAMPLE_32) return kInvalidArgument;
    if (!Active) SetActive(true);
    TakeSharedValues();
    const std::uint32_t frames = data.nframes > 0 ? static_cast<std::uint32_t>(data.nframes) : 0;
    std::uint32_t inputCount = 0, outputCount = 0;
    float* const* inputs =
        ChannelsOf(data.inputs, data.num_input_buses, BusActive[V3_INPUT], inputCount);
    float* const* outputs =
        ChannelsOf(data.outputs, data.num_output_buses, BusActive[V3_OUTPUT], outputCount);
    Audio audio;
    for (std::uint32_t j = 0; j < kChannels; ++j) {
        audio.Inputs[j] = j < inputCount ? inputs[j] : nullptr;
        audio.Outputs[j] = j < outputCount ? outputs[j] : nullptr;
    }

    // One cursor a queue of the host's changes in this block, as many as the plug-in has
    // parameters; a queue of a parameter it does not have is ignored.
    QueueCursor cursors[kControlCount];
    std::uint32_t used = 0;
    if (v3_param_changes** changes = data.input_params) {
        const int32_t count = v3_cpp_obj(changes)->get_param_count(changes);
        for (int32_t k = 0; k < count && used < kParameters.Count; ++k) {
            v3_param_value_queue** queue = v3_cpp_obj(changes)->get_param_data(changes, k);
            if (queue == nullptr) continue;
            QueueCursor cursor{queue,
                               v3_cpp_obj(queue)->get_param_id(queue),
                               v3_cpp_obj(queue)->get_point_count(queue),
                               0,
                               0,
                               0.0};
            if (cursor.Parameter < kParameters.Count && cursor.Load()) cursors[used++] = cursor;
        }
    }
    if (used == 0 && PortsRun && Instance != nullptr) {
        // A steady block: no change from the host, and the controls as the instance last ran
        // them.
        Instance->RunWithSameControls(audio.Inputs, audio.Outputs, frames);
        return kOk;
    }
    // The points in time order across the queues; one before the block applies at its start,
    // one past it at its end.
    std::uint32_t done = 0;
    for (;;) {
        QueueCursor* next = nullptr;
        for (std::uint32_t k = 0; k < used; ++k) {
            QueueCursor& cursor = cursors[k];
            if (cursor.Next < cursor.Points && (next == nullptr || cursor.Offset < next->Offset)) {
                next = &cursor;
            }
        }
        if (next == nullptr) break;
        const std::uint32_t at =
            std::min(static_cast<std::uint32_t>(std::max(next->Offset, 0)), frames);
        if (at > done) {
            RunSpan(audio, done, at - done);
            done = at;
        }
        Apply(next->Parameter, next->Value);
        ++next->Next;
        next->Load();
    }
    if (frames > done) RunSpan(audio, done, frames - done);
    return kOk;
}

void Vst3Plugin::RunSpan(const Audio& audio, std::uint32_t offset, std::uint32_t frames) {
    for (std::uint32_t j = 0; j < kChannels; ++j) {
        const float* input = audio.Inputs[j] == nullptr ? nullptr : audio.Inputs[j] + offset;
        float* output = audio.Outputs[j] == nullptr ? nullptr : audio.Outputs[j] + offset;
        if (Instance != nullptr) {
            Instance->ConnectChannel(j, input, output);
        } else if (output != nullptr) {
            // No engine at this rate: the input passes as it is.
            if (input == nullptr) {
                std::memset(output, 0, frames * sizeof(float));
            } else if (input != output) {
                std::memmove(output, input, frames * sizeof(float));
            }
        }
    }
    if (Instance != nullptr) {
        Instance->Run(frames);
        PortsRun = true;
    }
}

struct Vst3Plugin::ProcessorCalls {
    static v3_result V3_API SetArrangements(void* self, v3_speaker_arrangement* inputs,
                                            int32_t inputCount, v3_speaker_arrangement* outputs,
                                            int32_t outputCount) {
        return Of(self).SetArrangements(inputs, inputCount, outputs, outputCount);
    }
    static v3_result V3_API Arrangement(void*, int32_t direction, int32_t index,
                                        v3_speaker_arrangement* arrangement) {
        if ((direction != V3_INPUT && direction != V3_OUTPUT) || index != 0 ||
            arrangement == nullptr) {
            return kInvalidArgument;
        }
        *arrangement = kArrangement;
        return kOk;
    }
    static v3_result V3_API CanProcess(void*, int32_t sampleSize) {
        return sampleSize == V3_SAMPLE_32 ? kOk : kNotImplemented;
    }
    static uint32_t V3_API NoSamples(void*) { return 0; }
    static v3_result V3_API Setup(void* self, v3_process_setup* setup) {
        if (setup == nullptr) return kInvalidArgument;
        return Guarded(kOutOfMemory, [&] { return Of(self).SetupProcessing(*setup); });
    }
    static v3_result V3_API SetProcessing(void* self, v3_bool processing) {
        return Of(self).SetProcessing(processing != 0);
    }
    static v3_result V3_API Process(void* self, v3_process_data* data) {
        return data == nullptr ? kInvalidArgument : Of(self).Process(*data);
    }
};

const v3_audio_processor_cpp Vst3Plugin::kProcessorCalls = {
    {CommonCalls::QueryInterface, CommonCalls::Ref, CommonCalls::Unref},
    {ProcessorCalls::SetArrangements, ProcessorCalls::Arrangement, ProcessorCalls::CanProcess,
     ProcessorCalls::NoSamples, ProcessorCalls::Setup, ProcessorCalls::SetProcessing,
     ProcessorCalls::Process, ProcessorCalls::NoSamples}};

}  // namespace flanger::plugins::vst3
