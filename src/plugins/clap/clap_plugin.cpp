// ClapPlugin: the host's calls, each a short trampoline into a member, and one block split at its
// parameter events.
#include "plugins/clap/clap_plugin.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace flanger::plugins {
namespace {

// The parameter value of a control's port value, and back: the same number, but for the bypass,
// which is 1 where "enabled" is off.
double ParamOfPort(std::uint32_t control, float port) {
    if (control == kEnabledControl) return Enabled(&port) ? 0.0 : 1.0;
    return port;
}
float PortOfParam(std::uint32_t control, double value) {
    if (control == kEnabledControl) return value >= 0.5 ? 0.0f : 1.0f;
    return static_cast<float>(value);
}

// The channels of the first of `count` audio ports; null where the host gave none.
float* const* ChannelsOf(const clap_audio_buffer* ports, std::uint32_t count,
                         std::uint32_t& channels) {
    if (ports == nullptr || count == 0 || ports[0].data32 == nullptr) {
        channels = 0;
        return nullptr;
    }
    channels = ports[0].channel_count;
    return ports[0].data32;
}

// Channel j of `channels` from frame `offset` on; null where the host gave no such channel,
// which PluginInstance takes as silence in and nothing out.
float* ChannelAt(float* const* channels, std::uint32_t count, std::uint32_t j,
                 std::uint32_t offset) {
    return j >= count || channels[j] == nullptr ? nullptr : channels[j] + offset;
}

}  // namespace

ClapPlugin::ClapPlugin(const clap_plugin_descriptor* descriptor, const PluginIdentity& identity,
                       const clap_host* host)
    : Record{descriptor,
             this,
             [](const clap_plugin* p) { return Guarded(false, [&] { return Of(p).Init(); }); },
             [](const clap_plugin* p) {
                 Of(p).DestroyWindow();  // a host should have; the timer must not outlive us
                 delete &Of(p);
             },
             [](const clap_plugin* p, double sampleRate, std::uint32_t, std::uint32_t) {
                 return Guarded(false, [&] { return Of(p).Activate(sampleRate); });
             },
             [](const clap_plugin* p) { Of(p).Deactivate(); },
             [](const clap_plugin*) { return true; },
             [](const clap_plugin*) {},
             [](const clap_plugin* p) { Of(p).Reset(); },
             [](const clap_plugin* p, const clap_process* process) {
                 return process == nullptr ? clap_process_status{CLAP_PROCESS_ERROR}
                                           : Of(p).Process(*process);
             },
             [](const clap_plugin*, const char* id) { return Extension(id); },
             [](const clap_plugin*) {}},
      Identity(identity),
      Host(host) {
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        Ports[control] = kControls[control].Default;
        Shared[control].store(Ports[control], std::memory_order_relaxed);
    }
}

ClapPlugin& ClapPlugin::Of(const clap_plugin* plugin) {
    return *static_cast<ClapPlugin*>(plugin->plugin_data);
}

const void* ClapPlugin::Extension(const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kState;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimerSupport;
    return nullptr;
}

bool ClapPlugin::Init() {
    if (Host != nullptr && Host->get_extension != nullptr) {
        HostParams =
            static_cast<const clap_host_params*>(Host->get_extension(Host, CLAP_EXT_PARAMS));
        HostGui = static_cast<const clap_host_gui*>(Host->get_extension(Host, CLAP_EXT_GUI));
        HostTimers = static_cast<const clap_host_timer_support*>(
            Host->get_extension(Host, CLAP_EXT_TIMER_SUPPORT));
    }
    return true;
}

bool ClapPlugin::Activate(double sampleRate) {
    Instance = PluginInstance::Create(sampleRate, Identity.Channels);
    if (Instance == nullptr) return false;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if (HasControl(Identity.Channels, control)) {
            Instance->ConnectPort(ControlPortIndex(Identity.Channels, control), &Ports[control]);
        }
    }
    TakeLoadedValues();
    TakeWindowValues(nullptr);
    Instance->Activate();
    return true;
}

void ClapPlugin::Reset() {
    if (Instance != nullptr) Instance->Activate();
}

void ClapPlugin::TakeLoadedValues() {
    // A plain load first: an exchange in every block costs as much as a small block's setup.
    if (!LoadPending.load(std::memory_order_relaxed) ||
        !LoadPending.exchange(false, std::memory_order_acquire)) {
        return;
    }
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        Ports[control] = Shared[control].load(std::memory_order_relaxed);
    }
    PortsRun = false;
}

void ClapPlugin::Apply(const clap_event_header& event) {
    if (event.space_id != CLAP_CORE_EVENT_SPACE_ID || event.type != CLAP_EVENT_PARAM_VALUE ||
        event.size < sizeof(clap_event_param_value)) {
        return;
    }
    const auto& change = reinterpret_cast<const clap_event_param_value&>(event);
    if (!HasControl(Identity.Channels, change.param_id)) return;
    Ports[change.param_id] = PortOfParam(change.param_id, change.value);
    Shared[change.param_id].store(Ports[change.param_id], std::memory_order_relaxed);
    PortsRun = false;
}

void ClapPlugin::TakeWindowValues(const clap_output_events* out) {
    // A plain load first, as for a loaded state: most blocks have nothing to take.
    std::uint32_t changes = WindowChanges.load(std::memory_order_relaxed);
    if (changes == 0) return;
    changes = WindowChanges.exchange(0, std::memory_order_acquire);
    PortsRun = false;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if ((changes & (1u << control)) == 0) continue;
        Ports[control] = Shared[control].load(std::memory_order_relaxed);
        // The host records the change as it records its own automation.
        clap_event_param_value event{};
        event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        event.param_id = control;
        event.note_id = event.port_index = event.channel = event.key = -1;
        event.value = ParamOfPort(control, Ports[control]);
        if (out != nullptr && out->try_push != nullptr) out->try_push(out, &event.header);
    }
}

void ClapPlugin::ApplyAll(const clap_input_events* events) {
    TakeLoadedValues();
    if (events == nullptr || events->size == nullptr || events->get == nullptr) return;
    const std::uint32_t count = events->size(events);
    for (std::uint32_t k = 0; k < count; ++k) {
        if (const clap_event_header* event = events->get(events, k)) Apply(*event);
    }
}

clap_process_status ClapPlugin::Process(const clap_process& process) {
    if (Instance == nullptr) return CLAP_PROCESS_ERROR;
    TakeLoadedValues();
    TakeWindowValues(process.out_events);
    Audio audio;
    audio.Inputs = ChannelsOf(process.audio_inputs, process.audio_inputs_count, audio.InputCount);
    audio.Outputs =
        ChannelsOf(process.audio_outputs, process.audio_outputs_count, audio.OutputCount);
    const clap_input_events* events = process.in_events;
    const std::uint32_t count =
        events == nullptr || events->size == nullptr || events->get == nullptr
            ? 0
            : events->size(events);
    if (count == 0 && PortsRun && audio.InputCount >= Identity.Channels &&
        audio.OutputCount >= Identity.Channels) {
        // A steady block: no event, and the controls as the instance last ran them.
        Instance->RunWithSameControls(audio.Inputs, audio.Outputs, process.frames_count);
        return CLAP_PROCESS_CONTINUE;
    }
    // Events come in time order; one out of order, or past the block, applies where it is met.
    std::uint32_t done = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        const clap_event_header* event = events->get(events, k);
        if (event == nullptr) continue;
        const std::uint32_t at = std::min(event->time, process.frames_count);
        if (at > done) {
            RunSpan(audio, done, at - done);
            done = at;
        }
        Apply(*event);
    }
    if (process.frames_count > done) RunSpan(audio, done, process.frames_count - done);
    return CLAP_PROCESS_CONTINUE;
}

void ClapPlugin::RunSpan(const Audio& audio, std::uint32_t offset, std::uint32_t frames) {
    for (std::uint32_t j = 0; j < Identity.Channels; ++j) {
        Instance->ConnectChannel(j, ChannelAt(audio.Inputs, audio.InputCount, j, offset),
                                 ChannelAt(audio.Outputs, audio.OutputCount, j, offset));
    }
    Instance->Run(frames);
    PortsRun = true;
}

std::uint32_t ClapPlugin::ParamCount() const {
    std::uint32_t count = 0;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        count += HasControl(Identity.Channels, control) ? 1 : 0;
    }
    return count;
}

bool ClapPlugin::ParamInfo(std::uint32_t index, clap_param_info& info) const {
    std::uint32_t control = 0;
    for (std::uint32_t k = 0; control < kControlCount; ++control) {
        if (HasControl(Identity.Channels, control) && k++ == index) break;
    }
    if (control == kControlCount) return false;
    const Control& row = kControls[control];
    info = clap_param_info{};
    info.id = control;
    info.flags = CLAP_PARAM_IS_AUTOMATABLE;
    if (row.Unit == ControlUnit::Switch || row.Unit == ControlUnit::Degrees) {
        info.flags |= CLAP_PARAM_IS_STEPPED;
    }
    std::snprintf(info.name, sizeof info.name, "%s", row.Label);
    info.min_value = row.Minimum;
    info.max_value = UpperLimit(row);
    info.default_value = row.Default;
    if (control == kEnabledControl) {
        info.flags |= CLAP_PARAM_IS_BYPASS;
        std::snprintf(info.name, sizeof info.name, "Bypass");
        info.default_value = ParamOfPort(control, row.Default);
    }
    return true;
}

bool ClapPlugin::ParamValue(clap_id id, double& value) const {
    if (!HasControl(Identity.Channels, id)) return false;
    value = ParamOfPort(id, Shared[id].load(std::memory_order_relaxed));
    return true;
}

bool ClapPlugin::ValueToText(clap_id id, double value, char* display, std::uint32_t size) const {
    if (!HasControl(Identity.Channels, id) || display == nullptr || size == 0) return false;
    const Control& row = kControls[id];
    if (row.Unit == ControlUnit::Switch) {
        std::snprintf(display, size, "%s", value >= 0.5 ? "on" : "off");
    } else {
        const std::string_view unit = UnitText(row.Unit);
        std::snprintf(display, size, "%.*f%.*s", GridDecimals(row), value,
                      static_cast<int>(unit.size()), unit.data());
    }
    return true;
}

bool ClapPlugin::TextToValue(clap_id id, const char* display, double& value) const {
    if (!HasControl(Identity.Channels, id) || display == nullptr) return false;
    if (kControls[id].Unit == ControlUnit::Switch &&
        (std::strcmp(display, "on") == 0 || std::strcmp(display, "off") == 0)) {
        value = display[1] == 'n' ? 1.0 : 0.0;
        return true;
    }
    // The unit may follow the number, as ValueToText writes it.
    char* end = nullptr;
    const double parsed = std::strtod(display, &end);
    if (end == display) return false;
    value = parsed;
    return true;
}

bool ClapPlugin::SaveState(const clap_ostream& stream) const {
    ControlValues values{};
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        values[control] = Shared[control].load(std::memory_order_relaxed);
    }
    ClapStateBytes bytes{};
    const std::size_t size = EncodeClapState(Identity.Channels, values, bytes);
    for (std::size_t written = 0; written < size;) {
        const std::int64_t step = stream.write(&stream, bytes.data() + written, size - written);
        if (step <= 0) return false;
        written += static_cast<std::size_t>(step);
    }
    return true;
}

bool ClapPlugin::LoadState(const clap_istream& stream) {
    // One byte more than the longest state, to tell a state with bytes after its end.
    std::uint8_t bytes[kClapStateMaxBytes + 1];
    std::size_t size = 0;
    while (size < sizeof bytes) {
        const std::int64_t step = stream.read(&stream, bytes + size, sizeof bytes - size);
        if (step < 0) return false;
        if (step == 0) break;
        size += static_cast<std::size_t>(std::min<std::int64_t>(step, sizeof bytes - size));
    }
    ControlValues values{};
    if (!DecodeClapState(Identity.Channels, bytes, size, values)) return false;
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        Shared[control].store(values[control], std::memory_order_relaxed);
    }
    LoadPending.store(true, std::memory_order_release);
    // Inactive, no audio thread takes them: they are taken here, on the main thread.
    if (Instance == nullptr) TakeLoadedValues();
    if (HostParams != nullptr && HostParams->rescan != nullptr) {
        HostParams->rescan(Host, CLAP_PARAM_RESCAN_VALUES);
    }
    return true;
}

const clap_plugin_params ClapPlugin::kParams = {
    [](const clap_plugin* p) { return Of(p).ParamCount(); },
    [](const clap_plugin* p, std::uint32_t index, clap_param_info* info) {
        return info != nullptr && Of(p).ParamInfo(index, *info);
    },
    [](const clap_plugin* p, clap_id id, double* value) {
        return value != nullptr && Of(p).ParamValue(id, *value);
    },
    [](const clap_plugin* p, clap_id id, double value, char* display, std::uint32_t size) {
        return Of(p).ValueToText(id, value, display, size);
    },
    [](const clap_plugin* p, clap_id id, const char* display, double* value) {
        return value != nullptr && Of(p).TextToValue(id, display, *value);
    },
    [](const clap_plugin* p, const clap_input_events* in, const clap_output_events* out) {
        Of(p).ApplyAll(in);
        Of(p).TakeWindowValues(out);
    }};

const clap_plugin_state ClapPlugin::kState = {
    [](const clap_plugin* p, const clap_ostream* stream) {
        return stream != nullptr && stream->write != nullptr && Of(p).SaveState(*stream);
    },
    [](const clap_plugin* p, const clap_istream* stream) {
        return stream != nullptr && stream->read != nullptr && Of(p).LoadState(*stream);
    }};

const clap_plugin_audio_ports ClapPlugin::kAudioPorts = {
    [](const clap_plugin*, bool) { return std::uint32_t{1}; },
    [](const clap_plugin* p, std::uint32_t index, bool input, clap_audio_port_info* info) {
        if (index != 0 || info == nullptr) return false;
        const std::uint32_t channels = Of(p).Identity.Channels;
        *info = clap_audio_port_info{};
        std::snprintf(info->name, sizeof info->name, "%s", input ? "Input" : "Output");
        info->flags = CLAP_AUDIO_PORT_IS_MAIN;
        info->channel_count = channels;
        info->port_type = channels == 1 ? CLAP_PORT_MONO : CLAP_PORT_STEREO;
        info->in_place_pair = 0;  // the other direction's port, id 0 as well
        return true;
    }};

}  // namespace flanger::plugins
