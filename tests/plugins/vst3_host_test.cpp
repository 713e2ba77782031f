// The VST3 plug-ins in a host of our own over the format's headers (dpf-source's): it loads the
// built module as a host does, makes the component and its audio processor, sets every
// parameter through the processor's parameter changes at the first frame, and renders white
// noise in blocks of uneven sizes: bit for bit what `flanger process` writes with the same
// values. The Windows builds run it under Wine.
#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/factory.h>

#include "plugin_test_support.h"

#ifdef FLANGER_VST3_EDITOR_TEST
#include <travesty/edit_controller.h>
#include <travesty/host.h>
#include <travesty/message.h>
#include <travesty/view.h>

#include <map>

#include "x11_host_window.h"
#endif

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

// An instance of the module at `path` as a host makes one: its component, initialised with the
// host application `host` (none by default), and its audio processor, processing at 44100 Hz.
struct Vst3Instance {
    explicit Vst3Instance(const char* path, v3_funknown** host = nullptr) {
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
        EXPECT_EQ(v3_cpp_obj(factory)->get_class_info(factory, 0, &info), V3_OK);
        EXPECT_EQ(v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid,
                                                       reinterpret_cast<void**>(&Component)),
                  V3_OK);
        v3_cpp_obj_unref(factory);  // a host holds the factory only while it makes instances
        EXPECT_EQ(v3_cpp_obj_initialize(Component, host), V3_OK);
        EXPECT_EQ(v3_cpp_obj_query_interface(Component, v3_audio_processor_iid, &Processor), V3_OK);
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, 8192, 44100.0};
        EXPECT_EQ(v3_cpp_obj(Processor)->setup_processing(Processor, &setup), V3_OK);
        v3_cpp_obj(Component)->set_active(Component, true);
        v3_cpp_obj(Processor)->set_processing(Processor, true);
    }
    ~Vst3Instance() {
        v3_cpp_obj(Processor)->set_processing(Processor, false);
        v3_cpp_obj(Component)->set_active(Component, false);
        v3_cpp_obj_unref(Processor);
        v3_cpp_obj_terminate(Component);
        v3_cpp_obj_unref(Component);
    }

    // One block of `frames` from `ins` to `outs`, with the parameter changes `changes`.
    void Process(std::vector<float*> ins, std::vector<float*> outs, std::uint32_t frames,
                 ParamChanges& changes) {
        const auto channels = static_cast<int32_t>(ins.size());
        v3_audio_bus_buffers in{channels, 0, {ins.data()}}, out{channels, 0, {outs.data()}};
        ParamChanges none{changes.Table, &kNoQueues};
        v3_process_data data{V3_REALTIME,
                             V3_SAMPLE_32,
                             static_cast<int32_t>(frames),
                             1,
                             1,
                             &in,
                             &out,
                             reinterpret_cast<v3_param_changes**>(&changes),
                             reinterpret_cast<v3_param_changes**>(&none),
                             nullptr,
                             nullptr,
                             nullptr};
        EXPECT_EQ(v3_cpp_obj(Processor)->process(Processor, &data), V3_OK);
    }

    static inline std::vector<ParamQueue> kNoQueues;
    v3_component** Component = nullptr;
    v3_audio_processor** Processor = nullptr;
};

// Renders `input` through a new instance of the module at `path` with every control as
// `settings` has it.
Channels RunVst3(const char* path, std::uint32_t channels, const LiveSettings& settings,
                 const std::vector<std::uint32_t>& blockSizes, const Channels& input) {
    Vst3Instance instance(path);
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
    ParamChanges changes{&kChangesTable, &queues}, noChanges{&kChangesTable, &none};
    Channels output(channels, std::vector<float>(input[0].size()));
    InBuffersOf(blockSizes, input[0].size(), [&](std::size_t offset, std::uint32_t frames) {
        std::vector<float*> ins, outs;
        for (std::uint32_t j = 0; j < channels; ++j) {
            ins.push_back(const_cast<float*>(input[j].data()) + offset);
            outs.push_back(output[j].data() + offset);
        }
        instance.Process(ins, outs, frames, offset == 0 ? changes : noChanges);
    });
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

#ifdef FLANGER_VST3_EDITOR_TEST
// What the framework's view and controller talk by: messages the host application makes, whose
// attributes are the integers and numbers they send each other. (Linux only: lambdas stand for
// the format's calls, whose calling convention is the default there.)
struct Message {
    const v3_message_cpp* Table;
    struct Attributes {
        const v3_attribute_list_cpp* Table;
        std::map<std::string, std::int64_t> Integers;
        std::map<std::string, double> Numbers;
    } List;
    std::string Id;
    std::uint32_t References = 1;
};
Message& MessageOf(void* self) { return *static_cast<Message*>(self); }
Message::Attributes& ListOf(void* self) { return *static_cast<Message::Attributes*>(self); }
template <typename T>
v3_result Found(const std::map<std::string, T>& attributes, const char* id, T* value) {
    const auto found = attributes.find(id);
    if (found == attributes.end()) return V3_INVALID_ARG;
    return *value = found->second, V3_OK;
}
// No strings or binary data: the plug-ins have no state but their parameters and take no MIDI.
const v3_attribute_list_cpp kAttributesTable = {
    {NoInterface, OneReference, OneReference},
    {[](void* self, const char* id, int64_t x) -> v3_result {
         return ListOf(self).Integers[id] = x, V3_OK;
     },
     [](void* self, const char* id, int64_t* x) { return Found(ListOf(self).Integers, id, x); },
     [](void* self, const char* id, double x) -> v3_result {
         return ListOf(self).Numbers[id] = x, V3_OK;
     },
     [](void* self, const char* id, double* x) { return Found(ListOf(self).Numbers, id, x); },
     nullptr, nullptr, nullptr, nullptr}};
const v3_message_cpp kMessageTable = {
    {NoInterface, [](void* self) -> uint32_t { return ++MessageOf(self).References; },
     [](void* self) -> uint32_t {
         const std::uint32_t left = --MessageOf(self).References;
         if (left == 0) delete &MessageOf(self);
         return left;
     }},
    {[](void* self) { return MessageOf(self).Id.c_str(); },
     [](void* self, const char* id) { MessageOf(self).Id = id; },
     [](void* self) { return reinterpret_cast<v3_attribute_list**>(&MessageOf(self).List); }}};
const v3_host_application_cpp kHostApplicationTable = {
    {[](void* self, const v3_tuid iid, void** object) -> v3_result {
         const bool known = v3_tuid_match(iid, v3_host_application_iid);
         *object = known ? self : nullptr;
         return known ? V3_OK : V3_NO_INTERFACE;
     },
     OneReference, OneReference},
    {[](void*, int16_t*) -> v3_result { return V3_NOT_IMPLEMENTED; },
     [](void*, uint8_t*, uint8_t*, void** object) -> v3_result {
         *object = new Message{&kMessageTable, {&kAttributesTable, {}, {}}, {}};
         return V3_OK;
     }}};

// The frame the host puts the view in, with the host's run loop, which keeps the one timer the
// view registers.
struct Frame {
    const v3_plugin_frame_cpp* Table;
    struct RunLoop {
        const v3_run_loop_cpp* Table;
        v3_timer_handler** Timer = nullptr;
    } Loop;
};
const v3_run_loop_cpp kRunLoopTable = {
    {NoInterface, OneReference, OneReference},
    {[](void*, v3_event_handler**, int) -> v3_result { return V3_NOT_IMPLEMENTED; },
     [](void*, v3_event_handler**) -> v3_result { return V3_NOT_IMPLEMENTED; },
     [](void* self, v3_timer_handler** timer, uint64_t) -> v3_result {
         return static_cast<Frame::RunLoop*>(self)->Timer = timer, V3_OK;
     },
     [](void* self, v3_timer_handler**) -> v3_result {
         return static_cast<Frame::RunLoop*>(self)->Timer = nullptr, V3_OK;
     }}};
const v3_plugin_frame_cpp kFrameTable = {
    {[](void* self, const v3_tuid iid, void** object) -> v3_result {
         const bool loop = v3_tuid_match(iid, v3_run_loop_iid);
         *object = loop ? &static_cast<Frame*>(self)->Loop : nullptr;
         return loop ? V3_OK : V3_NO_INTERFACE;
     },
     OneReference, OneReference},
    {[](void*, v3_plugin_view**, v3_view_rect*) -> v3_result { return V3_OK; }}};

// The editor in a host window of our own on the X server DISPLAY names: the controller's view
// embeds the plug-in's window there, named as the LV2 plug-ins' window is, at the size the view
// reports; a parameter the host moves in a block reaches the window through the framework's
// messages, and the window goes when the view is removed.
TEST(Vst3Plugin, ShowsItsEditorInTheHostsWindow) {
    const X11HostWindow parent;
    if (!parent.IsOpen()) GTEST_SKIP() << "no X server";
    struct {
        const v3_host_application_cpp* Table = &kHostApplicationTable;
    } host;
    Vst3Instance instance(FLANGER_VST3_STEREO, reinterpret_cast<v3_funknown**>(&host));
    v3_edit_controller** controller = nullptr;
    ASSERT_EQ(v3_cpp_obj_query_interface(instance.Component, v3_edit_controller_iid, &controller),
              V3_OK);
    v3_plugin_view** view = v3_cpp_obj(controller)->create_view(controller, "editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(v3_cpp_obj(view)->is_platform_type_supported(view, "X11EmbedWindowID"), V3_OK);
    Frame frame{&kFrameTable, {&kRunLoopTable}};
    v3_cpp_obj(view)->set_frame(view, reinterpret_cast<v3_plugin_frame**>(&frame));
    v3_view_rect size{};
    EXPECT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);  // asked before it is attached
    EXPECT_EQ(parent.Shown().size(), 0u);
    ASSERT_EQ(v3_cpp_obj(view)->attached(view, reinterpret_cast<void*>(std::uintptr_t{parent.Id}),
                                         "X11EmbedWindowID"),
              V3_OK);
    ASSERT_NE(frame.Loop.Timer, nullptr);
    const auto tick = [&frame] {
        for (int k = 0; k < 10; ++k) v3_cpp_obj(frame.Loop.Timer)->on_timer(frame.Loop.Timer);
    };
    tick();
    EXPECT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
    const std::optional<ShownWindow> window = parent.Find("Flanger settings");
    ASSERT_TRUE(window);
    EXPECT_EQ(window->Width, static_cast<std::uint32_t>(size.right - size.left));
    EXPECT_EQ(window->Height, static_cast<std::uint32_t>(size.bottom - size.top));
    EXPECT_GT(window->Width * window->Height, 100u * 100u);
    // The host moves the delay to 2.5 ms in a block; the window's label follows.
    const Control& delay = kControls[kDelayControl];
    std::vector<ParamQueue> queues{
        {&kQueueTable, kDelayControl, (2.5 - delay.Minimum) / (UpperLimit(delay) - delay.Minimum)}};
    ParamChanges changes{&kChangesTable, &queues};
    std::vector<float> silence(64);
    instance.Process({silence.data(), silence.data()}, {silence.data(), silence.data()}, 64,
                     changes);
    EXPECT_FALSE(parent.Find("2.5"));
    tick();
    EXPECT_TRUE(parent.Find("2.5"));
    EXPECT_EQ(v3_cpp_obj(view)->removed(view), V3_OK);
    EXPECT_EQ(parent.Shown().size(), 0u) << "the window outlived the view";
    EXPECT_EQ(frame.Loop.Timer, nullptr);
    v3_cpp_obj_unref(view);
    v3_cpp_obj_unref(controller);
}
#endif

}  // namespace
}  // namespace flanger::testing
