// ClapPlugin: one CLAP plug-in instance over PluginInstance, the same instance the LV2 and LADSPA
// front ends run, so that the three formats sound alike bit for bit.
//
// Parameters are the controls of the table (effect/effect_controls.h) with the same names,
// ranges and defaults; a parameter's id is the control's index there, which never changes. The
// bypass is CLAP's bypass parameter (1 bypassed), the "enabled" control turned round. Parameter
// events split the block at their times: each part runs with the values due at its start, and
// PluginInstance glides to new values as it does for an LV2 host.
//
// Threads, as CLAP names them: the host's calls are [main-thread] except Process, Reset and Flush
// while active, which are [audio-thread]. The audio thread owns Ports; both threads share the
// values through Shared (atomics), so that the main thread's get_value and state save see what
// the audio thread last applied, and a state load reaches the audio thread at its next block.
// Process and Flush allocate nothing, take no lock and make no system call.
#pragma once

#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>
#include <clap/plugin.h>
#include <clap/process.h>
#include <clap/stream.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "plugins/clap/clap_state.h"
#include "plugins/guarded_call.h"
#include "plugins/plugin_instance.h"
#include "plugins/plugin_window.h"

namespace flanger::plugins {

class ClapPlugin {
public:
    // `descriptor` and `host` stay the host's and the library's; both outlive the instance.
    ClapPlugin(const clap_plugin_descriptor* descriptor, const PluginIdentity& identity,
               const clap_host* host);

    // The record the host calls through; its plugin_data points back here.
    const clap_plugin* Clap() const { return &Record; }

private:
    static ClapPlugin& Of(const clap_plugin* plugin);
    static const void* Extension(const char* id);

    bool Init();
    bool Activate(double sampleRate);
    void Deactivate() { Instance.reset(); }
    void Reset();
    clap_process_status Process(const clap_process& process);
    // A block's audio: the channels of its first input and output port.
    struct Audio {
        float* const* Inputs;
        float* const* Outputs;
        std::uint32_t InputCount;
        std::uint32_t OutputCount;
    };
    // Runs `frames` frames of the block from `offset` on with the current Ports.
    void RunSpan(const Audio& audio, std::uint32_t offset, std::uint32_t frames);
    // Applies a parameter event; other events are none of the effect's business.
    void Apply(const clap_event_header& event);
    void ApplyAll(const clap_input_events* events);
    // Takes the values a state load left in Shared, once.
    void TakeLoadedValues();

    std::uint32_t ParamCount() const;
    bool ParamInfo(std::uint32_t index, clap_param_info& info) const;
    bool ParamValue(clap_id id, double& value) const;
    bool ValueToText(clap_id id, double value, char* display, std::uint32_t size) const;
    bool TextToValue(clap_id id, const char* display, double& value) const;
    bool SaveState(const clap_ostream& stream) const;
    bool LoadState(const clap_istream& stream);

    static const clap_plugin_params kParams;
    static const clap_plugin_state kState;
    static const clap_plugin_audio_ports kAudioPorts;

    // The plug-in's own window in the host's (clap_plugin_gui.cpp), [main-thread] but for
    // TakeWindowValues. A control changed in the window reaches Ports through Shared and
    // WindowChanges, and the host as a parameter event of the next block or flush.
    bool CreateWindow(const char* api, bool floating);
    void DestroyWindow();
    bool EmbedWindow(const clap_window& parent);
    void OnTimer();
    void ChangedInWindow(std::uint32_t control, float value);
    // [audio-thread, or main-thread while inactive]
    void TakeWindowValues(const clap_output_events* out);

    static const clap_plugin_gui kGui;
    static const clap_plugin_timer_support kTimerSupport;
    std::unique_ptr<PluginWindow> Window;
    const clap_host_gui* HostGui = nullptr;
    const clap_host_timer_support* HostTimers = nullptr;
    clap_id Timer = CLAP_INVALID_ID;
    ControlValues Shown{};                        // what the window shows
    std::atomic<std::uint32_t> WindowChanges{0};  // a bit for each control the window moved

    clap_plugin Record;
    const PluginIdentity& Identity;
    const clap_host* Host;
    const clap_host_params* HostParams = nullptr;
    std::unique_ptr<PluginInstance> Instance;  // while active
    // The controls' values as ports take them (the bypass as "enabled").
    ControlValues Ports{};
    bool PortsRun = false;  // the instance has run with Ports as they are
    std::atomic<float> Shared[kControlCount];
    std::atomic<bool> LoadPending{false};
    static_assert(std::atomic<float>::is_always_lock_free, "the audio thread may not lock");
};

}  // namespace flanger::plugins
