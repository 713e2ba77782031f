// The CLAP and VST3 plug-ins run as simply as a host can: no parameter changes, no events, one
// bus in and one out; the VST3 module's component without its controller.
#include "plugin_runners.h"

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/plugin-factory.h>
#include <dlfcn.h>

#include <cstdio>
#include <ctime>
#include <random>

#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/factory.h"
#include "plugins/vst3/host_param_changes.h"

namespace {

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void* Symbol(const std::string& library, const char* name) {
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle == nullptr ? nullptr : dlsym(handle, name);
}

class ClapRunner : public PluginRunner {
public:
    ClapRunner(const std::string& library, const std::string& id, std::uint32_t block)
        : PluginRunner(block) {
        const auto* entry = static_cast<const clap_plugin_entry*>(Symbol(library, "clap_entry"));
        if (entry == nullptr || !entry->init(library.c_str())) return;
        const auto* factory =
            static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
        Plugin = factory == nullptr ? nullptr : factory->create_plugin(factory, &Host, id.c_str());
        if (Plugin == nullptr || !Plugin->init(Plugin) ||
            !Plugin->activate(Plugin, 44100.0, block, block)) {
            Plugin = nullptr;
            return;
        }
        const auto* ports = static_cast<const clap_plugin_audio_ports*>(
            Plugin->get_extension(Plugin, CLAP_EXT_AUDIO_PORTS));
        clap_audio_port_info port{};
        if (ports == nullptr || !ports->get(Plugin, 0, true, &port)) {
            Plugin = nullptr;
            return;
        }
        Inputs = Outputs = port.channel_count;
        for (std::uint32_t j = 0; j < Inputs; ++j) InputChannels.push_back(AddBuffer(true));
        for (std::uint32_t j = 0; j < Outputs; ++j) OutputChannels.push_back(AddBuffer(false));
        In = {InputChannels.data(), nullptr, Inputs, 0, 0};
        Out = {OutputChannels.data(), nullptr, Outputs, 0, 0};
        Process = {-1, block, nullptr, &In, &Out, 1, 1, &NoEvents, nullptr};
        Plugin->start_processing(Plugin);
    }
    ~ClapRunner() override {
        if (Plugin == nullptr) return;
        Plugin->stop_processing(Plugin);
        Plugin->deactivate(Plugin);
        Plugin->destroy(Plugin);
    }
    bool Valid() const override { return Plugin != nullptr; }

private:
    void RunBlock() override { Plugin->process(Plugin, &Process); }

    static const void* NoExtension(const clap_host*, const char*) { return nullptr; }
    static void Ignored(const clap_host*) {}
    const clap_host Host = {
        CLAP_VERSION_INIT, nullptr, "plugin_benchmark", "", "", "0", NoExtension, Ignored,
        Ignored,           Ignored};
    const clap_input_events NoEvents = {
        nullptr, [](const clap_input_events*) { return 0u; },
        [](const clap_input_events*, std::uint32_t) -> const clap_event_header* {
            return nullptr;
        }};
    const clap_plugin* Plugin = nullptr;
    std::vector<float*> InputChannels, OutputChannels;
    clap_audio_buffer In{}, Out{};
    clap_process Process{};
};

class Vst3Runner : public PluginRunner {
public:
    Vst3Runner(const std::string& module, std::uint32_t block) : PluginRunner(block) {
        using GetFactory = v3_plugin_factory** (*)();
        const auto getFactory = reinterpret_cast<GetFactory>(Symbol(module, "GetPluginFactory"));
        using ModuleEntry = bool (*)(void*);
        const auto entry = reinterpret_cast<ModuleEntry>(Symbol(module, "ModuleEntry"));
        if (getFactory == nullptr || entry == nullptr || !entry(nullptr)) return;
        v3_plugin_factory** factory = getFactory();
        v3_class_info info{};
        if (factory == nullptr || v3_cpp_obj(factory)->get_class_info(factory, 0, &info) != V3_OK ||
            v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid,
                                                 reinterpret_cast<void**>(&Component)) != V3_OK ||
            (v3_cpp_obj_unref(factory), v3_cpp_obj_initialize(Component, nullptr) != V3_OK) ||
            v3_cpp_obj_query_interface(Component, v3_audio_processor_iid, &Processor) != V3_OK) {
            Processor = nullptr;
            return;
        }
        v3_bus_info bus{};
        v3_cpp_obj(Component)->get_bus_info(Component, V3_AUDIO, V3_INPUT, 0, &bus);
        Inputs = Outputs = static_cast<std::uint32_t>(bus.channel_count);
        for (std::uint32_t j = 0; j < Inputs; ++j) InputChannels.push_back(AddBuffer(true));
        for (std::uint32_t j = 0; j < Outputs; ++j) OutputChannels.push_back(AddBuffer(false));
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, static_cast<std::int32_t>(block),
                               44100.0};
        v3_cpp_obj(Processor)->setup_processing(Processor, &setup);
        v3_cpp_obj(Component)->set_active(Component, true);
        v3_cpp_obj(Processor)->set_processing(Processor, true);
        In.num_channels = static_cast<std::int32_t>(Inputs);
        In.channel_buffers_32 = InputChannels.data();
        Out.num_channels = static_cast<std::int32_t>(Outputs);
        Out.channel_buffers_32 = OutputChannels.data();
        v3_param_changes** noChanges = NoChanges.AsChanges();
        Data = {V3_REALTIME,
                V3_SAMPLE_32,
                static_cast<std::int32_t>(block),
                1,
                1,
                &In,
                &Out,
                noChanges,
                noChanges,
                nullptr,
                nullptr,
                nullptr};
    }
    ~Vst3Runner() override {
        if (Processor == nullptr) return;
        v3_cpp_obj(Processor)->set_processing(Processor, false);
        v3_cpp_obj(Component)->set_active(Component, false);
        v3_cpp_obj_unref(Processor);
        v3_cpp_obj_terminate(Component);
        v3_cpp_obj_unref(Component);
    }
    bool Valid() const override { return Processor != nullptr; }

private:
    void RunBlock() override { v3_cpp_obj(Processor)->process(Processor, &Data); }

    v3_component** Component = nullptr;
    v3_audio_processor** Processor = nullptr;
    std::vector<float*> InputChannels, OutputChannels;
    v3_audio_bus_buffers In{}, Out{};
    // No parameter changes, either way.
    std::vector<flanger::plugins::vst3::ParamQueue> NoQueues;
    flanger::plugins::vst3::ParamChanges NoChanges{&flanger::plugins::vst3::kChangesTable,
                                                   &NoQueues};
    v3_process_data Data{};
};

}  // namespace

void PluginRunner::Run(std::uint64_t frames) {
    const double start = ThreadSeconds();
    for (std::uint64_t done = 0; done < frames; done += Block) RunBlock();
    const double nanoseconds = (ThreadSeconds() - start) * 1e9 / static_cast<double>(frames);
    if (Best == 0.0 || nanoseconds < Best) Best = nanoseconds;
}

float* PluginRunner::AddBuffer(bool input) {
    static std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    Buffers.emplace_back(Block);
    for (float& sample : Buffers.back()) sample = input ? noise(random) : 0.0f;
    return Buffers.back().data();
}

bool IsOtherFormat(const std::string& plugin) {
    return plugin.rfind("clap=", 0) == 0 || plugin.rfind("vst3=", 0) == 0;
}

std::unique_ptr<PluginRunner> CreateOtherFormatRunner(const std::string& plugin,
                                                      std::uint32_t block) {
    std::unique_ptr<PluginRunner> runner;
    if (plugin.rfind("clap=", 0) == 0) {
        const std::size_t hash = plugin.find('#');
        if (hash == std::string::npos) return nullptr;
        runner = std::make_unique<ClapRunner>(plugin.substr(5, hash - 5), plugin.substr(hash + 1),
                                              block);
    } else {
        runner = std::make_unique<Vst3Runner>(plugin.substr(5), block);
    }
    return runner->Valid() ? std::move(runner) : nullptr;
}

std::string Ratio(const PluginRunner& runner, const PluginRunner& reference) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3fx", runner.Best / reference.Best);
    return text;
}
