// The VST3 plug-ins in a host of our own over the format's headers (dpf-source's): it loads the
// built module as a host does, makes the component and its audio processor, sets every
// parameter through the processor's parameter changes at the first frame, and renders white
// noise in blocks of uneven sizes: bit for bit what `flanger process` writes with the same
// values. A change inside a block counts from its frame on. The class ids, the parameter ids
// and the state's bytes are the ones hosts stored from the first release. The Windows builds
// run it under Wine.
#include <travesty/audio_processor.h>
#include <travesty/bstream.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>

#include <functional>

#include "plugin_test_support.h"
#include "plugins/vst3/host_param_changes.h"
#ifdef FLANGER_VST3_EDITOR_TEST
#include <travesty/view.h>

#include "host_window.h"
#endif

namespace flanger::testing {
namespace {

using plugins::kPlugins;
using namespace plugins::vst3;  // the host's parameter changes and the format's calls

// The factory of the module at `path`, entered as a host enters it.
v3_plugin_factory** FactoryOf(const char* path) {
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
    return getFactory();
}

// Renders `input` through a new instance of the module at `path` with every control as
// `settings` has it, and the changes `later` at the frames of the input their offsets say. The
// component is initialised with the host application `host`; `beforeBlock`, what the host does
// before each block and after the last, sees the component and the frame the block starts at.
Channels RunVst3(const char* path, std::uint32_t channels, const LiveSettings& settings,
                 const std::vector<std::uint32_t>& blockSizes, const Channels& input,
                 v3_funknown** host = nullptr,
                 const std::function<void(v3_component**, std::size_t)>& beforeBlock = {},
                 const std::vector<ParamQueue>& later = {}) {
    v3_plugin_factory** factory = FactoryOf(path);
    v3_class_info info{};
    v3_component** component = nullptr;
    v3_audio_processor** processor = nullptr;
    EXPECT_EQ(v3_cpp_obj(factory)->get_class_info(factory, 0, &info), V3_OK);
    EXPECT_EQ(v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid,
                                                   reinterpret_cast<void**>(&component)),
              V3_OK);
    v3_cpp_obj_unref(factory);  // a host holds the factory only while it makes instances
    EXPECT_EQ(v3_cpp_obj_initialize(component, host), V3_OK);
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
    ParamChanges noChanges{&kChangesTable, &none};
    Channels output(channels, std::vector<float>(input[0].size()));
    InHostBuffers(blockSizes, input, output, [&](std::size_t offset, std::uint32_t frames,
                                                 float** ins, float** outs) {
        if (beforeBlock) beforeBlock(component, offset);
        std::vector<ParamQueue> block = offset == 0 ? queues : none;
        for (ParamQueue change : later) {
            // A change at a block's first frame comes at the end of the block before it.
            const auto start = static_cast<int32_t>(offset);
            if (change.Offset < start || change.Offset > start + static_cast<int32_t>(frames) ||
                (start > 0 && change.Offset == start))
                continue;
            change.Offset -= static_cast<int32_t>(offset);
            block.push_back(change);
        }
        ParamChanges changes{&kChangesTable, &block};
        v3_audio_bus_buffers in{static_cast<int32_t>(channels), 0, {ins}};
        v3_audio_bus_buffers out{static_cast<int32_t>(channels), 0, {outs}};
        v3_process_data data{V3_REALTIME,
                             V3_SAMPLE_32,
                             static_cast<int32_t>(frames),
                             1,
                             1,
                             &in,
                             &out,
                             changes.AsChanges(),
                             noChanges.AsChanges(),
                             nullptr,
                             nullptr,
                             nullptr};
        EXPECT_EQ(v3_cpp_obj(processor)->process(processor, &data), V3_OK);
    });
    if (beforeBlock) beforeBlock(component, input[0].size());
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

// A change inside a block counts from its frame on, as if a block started there: the level to
// -12 dB and the mix to a quarter at frame 364, in a block of 1000 frames from 64 and at the end
// of one of 300 before steady blocks, sound alike, and unlike without them.
TEST(Vst3Plugin, AppliesAChangeAtItsFrame) {
    const Channels input = WhiteNoise(2, 1064, 7);
    const std::vector<ParamQueue> later = {{&kQueueTable, 10, 28.0 / 60, 364},
                                           {&kQueueTable, 8, 0.25, 364}};
    const Channels inOne =
        RunVst3(FLANGER_VST3_STEREO, 2, {}, {64, 1000}, input, nullptr, {}, later);
    ExpectSameBits(inOne,
                   RunVst3(FLANGER_VST3_STEREO, 2, {}, {64, 300, 700}, input, nullptr, {}, later),
                   "a change at frame 364");
    EXPECT_NE(inOne, RunVst3(FLANGER_VST3_STEREO, 2, {}, {64, 1000}, input));
}

// A host's stream of state bytes, read from the start, written at the end.
struct StateStream {
    struct Table {
        v3_funknown Unknown;
        v3_bstream Stream;
    };
    const Table* Calls;
    std::string Bytes;
    std::size_t Read = 0;
};
v3_result V3_API ReadState(void* self, void* buffer, int32_t size, int32_t* read) {
    auto& stream = *static_cast<StateStream*>(self);
    *read = static_cast<int32_t>(std::min<std::size_t>(size, stream.Bytes.size() - stream.Read));
    std::copy_n(stream.Bytes.data() + stream.Read, *read, static_cast<char*>(buffer));
    return stream.Read += *read, V3_OK;
}
v3_result V3_API WriteState(void* self, void* buffer, int32_t size, int32_t* written) {
    static_cast<StateStream*>(self)->Bytes.append(static_cast<char*>(buffer), size);
    return *written = size, V3_OK;
}
// The bytes of a literal that holds 0 bytes, its own last one left out.
template <std::size_t kSize>
std::string BytesOf(const char (&text)[kSize]) {
    return std::string(text, kSize - 1);
}
const StateStream::Table kStateStreamTable = {{NoInterface, OneReference, OneReference},
                                              {ReadState, WriteState, nullptr, nullptr}};

// The stereo plug-in's class, its bypass parameter and the state bytes of its defaults and of
// other values (the spread at 76 degrees, the level at -16.8 dB) as the first release had them:
// the class id hosts know the plug-in by, a state written then loads and is written back alike.
TEST(Vst3Plugin, KeepsTheFirstReleasesIdsAndState) {
    v3_plugin_factory** factory = FactoryOf(FLANGER_VST3_STEREO);
    v3_class_info info{};
    ASSERT_EQ(v3_cpp_obj(factory)->get_class_info(factory, 0, &info), V3_OK);
    const unsigned char classId[16] = {' ', 'F', 'P', 'D', 's', 'a', 'l', 'c',
                                       's', 'l', 'F', 'V', 0,   0,   0,   0};
    EXPECT_EQ(std::string(info.class_id, info.class_id + 16), std::string(classId, classId + 16));
    v3_component** component = nullptr;
    ASSERT_EQ(v3_cpp_obj(factory)->create_instance(factory, info.class_id, v3_component_iid,
                                                   reinterpret_cast<void**>(&component)),
              V3_OK);
    ASSERT_EQ(v3_cpp_obj_initialize(component, nullptr), V3_OK);
    v3_edit_controller** controller = nullptr;
    ASSERT_EQ(v3_cpp_obj_query_interface(component, v3_edit_controller_iid, &controller), V3_OK);
    v3_param_info bypass{};
    EXPECT_EQ(v3_cpp_obj(controller)->get_parameter_info(controller, 11, &bypass), V3_OK);
    EXPECT_EQ(bypass.flags, V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_BYPASS);

    const auto state = [&] {
        StateStream saved{&kStateStreamTable, {}};
        EXPECT_EQ(
            v3_cpp_obj(component)->get_state(component, reinterpret_cast<v3_bstream**>(&saved)),
            V3_OK);
        return saved.Bytes;
    };
    const std::string kBegin = BytesOf("__dpf_parameters_begin__\0");
    const std::string kEnd = BytesOf("__dpf_parameters_end__\0\xfe\0");
    const std::string defaults = BytesOf(
        "delay\0"
        "5\0width\0"
        "5\0speed\0"
        "0.10000000149\0depth\0"
        "0.899999976158\0"
        "feedback\0"
        "0.10000000149\0feedback_on\0"
        "1\0sine\0"
        "0\0feedback_invert\0"
        "0\0"
        "mix\0"
        "0.5\0spread\0"
        "0\0level\0"
        "0\0dpf_bypass\0"
        "0\0");
    EXPECT_EQ(state(), kBegin + defaults + kEnd);
    const std::string changed = kBegin +
                                BytesOf(
                                    "delay\0"
                                    "4.32999992371\0width\0"
                                    "8.28999996185\0speed\0"
                                    "0.334567904472\0depth\0"
                                    "1\0feedback\0"
                                    "0.687399983406\0feedback_on\0"
                                    "0\0sine\0"
                                    "1\0feedback_invert\0"
                                    "1\0mix\0"
                                    "0.25\0spread\0"
                                    "76\0level\0"
                                    "-16.7999992371\0dpf_bypass\0"
                                    "0\0") +
                                kEnd;
    StateStream loaded{&kStateStreamTable, changed};
    EXPECT_EQ(v3_cpp_obj(component)->set_state(component, reinterpret_cast<v3_bstream**>(&loaded)),
              V3_OK);
    EXPECT_EQ(state(), changed);
    EXPECT_EQ(v3_cpp_obj(controller)->get_parameter_normalised(controller, 9), 76.0 / 180);
    // A value the host shows (and sends the processor in a block) reads back at once.
    EXPECT_EQ(v3_cpp_obj(controller)->set_parameter_normalised(controller, 9, 0.5), V3_OK);
    EXPECT_EQ(v3_cpp_obj(controller)->get_parameter_normalised(controller, 9), 0.5);
    v3_cpp_obj_unref(controller);
    v3_cpp_obj_terminate(component);
    v3_cpp_obj_unref(component);
}

#ifdef FLANGER_VST3_EDITOR_TEST
// An object's query for interface `kIid` alone, answered with the object at `kOffset` in it.
template <const v3_tuid& kIid, std::size_t kOffset = 0>
v3_result Answer(void* self, const v3_tuid iid, void** object) {
    *object = v3_tuid_match(iid, kIid) ? static_cast<char*>(self) + kOffset : nullptr;
    return *object != nullptr ? v3_result{V3_OK} : static_cast<v3_result>(V3_NO_INTERFACE);
}
// The host's record of the edits the controller reports: "begin ID", "ID=VALUE", "end ID".
struct EditRecord {
    struct Table {
        v3_funknown Unknown;
        v3_component_handler Handler;
    };
    const Table* Calls;
    std::vector<std::string> Edits;
};
void Record(void* self, std::string edit) {
    static_cast<EditRecord*>(self)->Edits.push_back(std::move(edit));
}
const EditRecord::Table kEditRecordTable = {
    {Answer<v3_component_handler_iid>, OneReference, OneReference},
    {[](void* self, v3_param_id id) -> v3_result {
         return Record(self, "begin " + std::to_string(id)), V3_OK;
     },
     [](void* self, v3_param_id id, double value) -> v3_result {
         return Record(self, std::to_string(id) + "=" + std::to_string(value)), V3_OK;
     },
     [](void* self, v3_param_id id) -> v3_result {
         return Record(self, "end " + std::to_string(id)), V3_OK;
     },
     [](void*, int32_t) -> v3_result { return V3_OK; }}};

// The frame the host gives the view, with the host's run loop, which keeps the view's one timer.
struct RunLoop {
    const v3_run_loop_cpp* Table;
    v3_timer_handler** Timer = nullptr;
};
struct Frame {
    const v3_plugin_frame_cpp* Table;
    RunLoop Loop;
};
const v3_run_loop_cpp kRunLoopTable = {
    {NoInterface, OneReference, OneReference},
    {nullptr, nullptr,
     [](void* self, v3_timer_handler** timer, uint64_t) -> v3_result {
         return static_cast<RunLoop*>(self)->Timer = timer, V3_OK;
     },
     [](void* self, v3_timer_handler**) -> v3_result {
         return static_cast<RunLoop*>(self)->Timer = nullptr, V3_OK;
     }}};
const v3_plugin_frame_cpp kFrameTable = {
    {Answer<v3_run_loop_iid, offsetof(Frame, Loop)>, OneReference, OneReference},
    {[](void*, v3_plugin_view**, v3_view_rect*) -> v3_result { return V3_OK; }}};

// The editor in a host window of our own (host_window.h): before the first block
// the controller's view embeds the plug-in's window there, named as the LV2 plug-ins' window
// is, at the size the view reports; the level the host moves to -3.5 dB in that block reaches
// the window by the view's timer (the mono plug-in's, whose parameters after the
// missing spread are not the controls' indices); after the last, removing the view takes the
// window away.
TEST(Vst3Plugin, ShowsItsEditorInTheHostsWindow) {
    const HostWindow parent;
    if (!parent.IsOpen()) GTEST_SKIP() << "no display";
#ifdef _WIN32
    constexpr const char* kPlatform = "HWND";
#else
    constexpr const char* kPlatform = "X11EmbedWindowID";
#endif
    Frame frame{&kFrameTable, {&kRunLoopTable}};
    v3_edit_controller** controller = nullptr;
    v3_plugin_view** view = nullptr;
    EditRecord edits{&kEditRecordTable, {}};
    const auto tick = [&frame] {
#ifdef _WIN32
        // There the view's timer is a window timer, which the host's message loop runs.
        for (int k = 0; k < 25; ++k) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            Sleep(20);
        }
#else
        for (int k = 0; k < 10 && frame.Loop.Timer != nullptr; ++k) {
            v3_cpp_obj(frame.Loop.Timer)->on_timer(frame.Loop.Timer);
        }
#endif
    };
    const auto editor = [&](v3_component** component, std::size_t offset) {
        if (offset == 0) {
            ASSERT_EQ(v3_cpp_obj_query_interface(component, v3_edit_controller_iid, &controller),
                      V3_OK);
            v3_cpp_obj(controller)
                ->set_component_handler(controller,
                                        reinterpret_cast<v3_component_handler**>(&edits));
            view = v3_cpp_obj(controller)->create_view(controller, "editor");
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(v3_cpp_obj(view)->is_platform_type_supported(view, kPlatform), V3_OK);
            v3_cpp_obj(view)->set_frame(view, reinterpret_cast<v3_plugin_frame**>(&frame));
            v3_view_rect size{};
            EXPECT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);  // before it is attached
            EXPECT_EQ(parent.Shown().size(), 0u);
            ASSERT_EQ(v3_cpp_obj(view)->attached(view, reinterpret_cast<void*>(parent.Native()),
                                                 kPlatform),
                      V3_OK);
#ifndef _WIN32
            ASSERT_NE(frame.Loop.Timer, nullptr);
#endif
            tick();
            EXPECT_EQ(v3_cpp_obj(view)->get_size(view, &size), V3_OK);
            EXPECT_TRUE(parent.Shows({"Flanger settings", static_cast<std::uint32_t>(size.right),
                                      static_cast<std::uint32_t>(size.bottom)}));
            EXPECT_FALSE(parent.Shows({"-3.5"}));
        } else if (offset == 64) {
            tick();
            EXPECT_TRUE(parent.Shows({"-3.5"}));
            // A person turns "Invert feedback" on in the window: one edit of its parameter.
            ASSERT_TRUE(parent.Click("Invert feedback"));
            for (int k = 0; k < 50 && edits.Edits.size() < 3; ++k) tick();
            std::uint32_t id = 0;  // the parameter's: the mono plug-in's controls before it
            for (std::uint32_t c = 0; c < kFeedbackInvertControl; ++c)
                id += plugins::HasControl(1, c);
            const std::string parameter = std::to_string(id);
            EXPECT_EQ(edits.Edits,
                      (std::vector<std::string>{"begin " + parameter, parameter + "=1.000000",
                                                "end " + parameter}));
        } else if (view != nullptr) {
            EXPECT_EQ(v3_cpp_obj(view)->removed(view), V3_OK);
            EXPECT_EQ(parent.Shown().size(), 0u) << "the window outlived the view";
            EXPECT_EQ(frame.Loop.Timer, nullptr);
            v3_cpp_obj_unref(view);
            v3_cpp_obj_unref(controller);
        }
    };
    LiveSettings settings;
    settings.Level = -35;
    RunVst3(FLANGER_VST3_MONO, 1, settings, {64}, Channels(1, std::vector<float>(128)), nullptr,
            editor);
}
#endif

}  // namespace
}  // namespace flanger::testing
