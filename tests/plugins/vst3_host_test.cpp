// The VST3 plug-ins in a host of our own over the format's headers (dpf-source's): it loads the
// built module as a host does, makes the component and its audio processor, sets every
// parameter through the processor's parameter changes at the first frame, and renders white
// noise in blocks of uneven sizes: bit for bit what `flanger process` writes with the same
// values. The Windows builds run it under Wine.
#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/factory.h>

#include "plugin_test_support.h"

namespace flanger::testing {
namespace {

using plugins::kPlugins;

// One point, at the block's first frame, for parameter `Id`.
struct ParamQueue {
    const v3_param_value_queue_cpp* Table;
    v3_param_id Id;
    double Value;
};

// A block's parameter changes: one queue for each parameter, or none.
struct ParamChanges {
    const v3_param_changes_cpp* Table;
    std::vector<ParamQueue>* Queues;
};

// The calls of the format's objects, in its calling convention (stdcall on 32-bit Windows),
// which lambdas cannot take.
v3_result V3_API NoInterface(void*, const v3_tuid, void** object) {
    *object = nullptr;
    return static_cast<v3_result>(V3_NO_INTERFACE);
}
uint32_t V3_API OneReference(void*) { return 1; }
v3_param_id V3_API QueueId(void* self) { return static_cast<ParamQueue*>(self)->Id; }
int32_t V3_API OnePoint(void*) { return 1; }
v3_result V3_API PointAtStart(void* self, int32_t, int32_t* offset, double* value) {
    *offset = 0;
    *value = static_cast<ParamQueue*>(self)->Value;
    return V3_OK;
}
v3_result V3_API NoNewPoint(void*, int32_t, double, int32_t*) {
    return static_cast<v3_result>(V3_NOT_IMPLEMENTED);
}
int32_t V3_API QueueCount(void* self) {
    return static_cast<int32_t>(static_cast<ParamChanges*>(self)->Queues->size());
}
v3_param_value_queue** V3_API QueueAt(void* self, int32_t k) {
    auto& queues = *static_cast<ParamChanges*>(self)->Queues;
    return reinterpret_cast<v3_param_value_queue**>(&queues[static_cast<std::size_t>(k)]);
}
v3_param_value_queue** V3_API NoNewQueue(void*, v3_param_id*, int32_t*) { return nullptr; }

const v3_param_value_queue_cpp kQueueTable = {{NoInterface, OneReference, OneReference},
                                              {QueueId, OnePoint, PointAtStart, NoNewPoint}};
const v3_param_changes_cpp kChangesTable = {{NoInterface, OneReference, OneReference},
                                            {QueueCount, QueueAt, NoNewQueue}};

// Renders `input` through a new instance of the module at `path` with every control as
// `settings` has it.
Channels RunVst3(const char* path, std::uint32_t channels, const LiveSettings& settings,
                 const std::vector<std::uint32_t>& blockSizes, const Channels& input) {
#ifdef _WIN32
    const auto init = reinterpret_cast<bool (*)()>(LibrarySymbol(path, "InitDll"));
    const bool entered = init != nullptr && init();
#else
    const auto init = reinterpret_cast<bool (*)(void*)>(LibrarySymbol(path, "ModuleEntry"));
    const bool entered = init != nullptr && init(nullptr);
#endif
    const auto getFactory =
        reinterpret_cast<v3_plugin_factory** (*)()>(LibrarySymbol(path, "GetPluginFactory"));
    if (!entered || getFactory == nullptr)
        throw std::runtime_error(std::string("cannot load ") + path);
    v3_plugin_factory** factory = getFactory();
    v3_class_info info{};
    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    EXPECT_EQ(v3_cpp_obj(factory)->get_class_info(factory, 0, &info), V3_OK);
    EXPECT_EQ(v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid,
                                                   reinterpret_cast<void**>(&component)),
              V3_OK);
    v3_cpp_obj_unref(factory);  // a host holds the factory only while it makes instances
    EXPECT_EQ(v3_cpp_obj_initialize(component, nullptr), V3_OK);
    EXPECT_EQ(v3_cpp_obj_query_interface(component, v3_audio_processor_iid, &processor), V3_OK);
    v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, 8192, 44100.0};
    EXPECT_EQ(v3_cpp_obj(processor)->setup_processing(processor, &setup), V3_OK);
    v3_cpp_obj(component)->set_active(component, true);
    v3_cpp_obj(processor)->set_processing(processor, true);

    // Each parameter's normalised value: its place between the control's limits.
    std::vector<ParamQueue> queues, none;
    const std::vector<float> values = ControlsFor(settings);
    for (std::uint32_t control = 0; control < kControlCount; ++control) {
        if (!plugins::HasControl(channels, control)) continue;
        const Control& row = kControls[control];
        const double place = (values[control] - row.Minimum) / (UpperLimit(row) - row.Minimum);
        // The bypass parameter is the "enabled" control turned round: 0, not bypassed.
        queues.push_back({&kQueueTable, static_cast<v3_param_id>(queues.size()),
                          control == kEnabledControl ? 0.0 : place});
    }
    const v3_param_changes_cpp* changesTable = &kChangesTable;
    ParamChanges changes{changesTable, &queues}, noChanges{changesTable, &none};
    Channels output(channels, std::vector<float>(input[0].size()));
    InBuffersOf(blockSizes, input[0].size(), [&](std::size_t offset, std::uint32_t frames) {
        std::vector<float*> ins, outs;
        for (std::uint32_t j = 0; j < channels; ++j) {
            ins.push_back(const_cast<float*>(input[j].data()) + offset);
            outs.push_back(output[j].data() + offset);
        }
        v3_audio_bus_buffers in{static_cast<int32_t>(channels), 0, {ins.data()}};
        v3_audio_bus_buffers out{static_cast<int32_t>(channels), 0, {outs.data()}};
        v3_process_data data{
            V3_REALTIME,
            V3_SAMPLE_32,
            static_cast<int32_t>(frames),
            1,
            1,
            &in,
            &out,
            reinterpret_cast<v3_param_changes**>(offset == 0 ? &changes : &noChanges),
            reinterpret_cast<v3_param_changes**>(&noChanges),
            nullptr,
            nullptr,
            nullptr};
        EXPECT_EQ(v3_cpp_obj(processor)->process(processor, &data), V3_OK);
    });
    v3_cpp_obj(processor)->set_processing(processor, false);
    v3_cpp_obj(component)->set_active(component, false);
    v3_cpp_obj_unref(processor);
    v3_cpp_obj_terminate(component);
    v3_cpp_obj_unref(component);
    return output;
}

TEST(Vst3Plugin, RendersLikeTheEngine) {
    constexpr std::uint32_t kRate = 44100;
    struct Case {
        int plugin;  // index into kPlugins
        LiveSettings settings;
        std::vector<std::uint32_t> blockSizes;
    };
    const Case cases[] = {
        {0, {}, {512}},
        {1, {}, {64, 1000, 7}},
        // The mix and the spread as the module's record has them (ThroughOpenStream).
        {0, {66, 25, 73, 1, -45, 37, false, 50, 0, -20}, {256, 3, 4096}},
        {1, {100, 10, 100, 0, 99, 200, true, 50, 0, 30}, {1000, 300, 7}},
    };
    for (const Case& c : cases) {
        const auto& plugin = kPlugins[c.plugin];
        const Channels input = WhiteNoise(plugin.Channels, kRate, kRate);
        const char* path = plugin.Channels == 1 ? FLANGER_VST3_MONO : FLANGER_VST3_STEREO;
        ExpectSameBits(RunVst3(path, plugin.Channels, c.settings, c.blockSizes, input),
                       ThroughOpenStream(c.settings, kRate, input),
                       std::string(path) + " case " + std::to_string(&c - cases));
    }
}

}  // namespace
}  // namespace flanger::testing
