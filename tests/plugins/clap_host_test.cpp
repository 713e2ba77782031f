// The CLAP plug-ins in a host of our own: it loads the built flanger.clap with dlopen, finds the
// factory through clap_entry and drives each plug-in through its records alone, its parameters
// set by events inside the blocks. At constant values the output is bit for bit the engine's
// (what `flanger process` writes); process allocates nothing; a parameter moved mid-block makes
// no click; a saved state gives a new instance the same output; damaged state bytes are refused
// and change nothing.
#include <clap/entry.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/plugin-factory.h>

#include <cstring>
#ifdef FLANGER_CLAP_WINDOW_TEST
#include <clap/ext/gui.h>
#include <clap/ext/timer-support.h>

#include <chrono>
#include <thread>

#include "host_window.h"
#endif
#include <optional>
#include <stdexcept>

#include "allocation_count.h"
#include "plugin_test_support.h"

namespace flanger::testing {
namespace {

using plugins::kPlugins;

const clap_plugin_factory& Factory() {
    static const clap_plugin_factory* const factory = [] {
        const auto* entry =
            static_cast<const clap_plugin_entry*>(LibrarySymbol(FLANGER_CLAP_PATH, "clap_entry"));
        return entry == nullptr || !entry->init(FLANGER_CLAP_PATH)
                   ? nullptr
                   : static_cast<const clap_plugin_factory*>(
                         entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    }();
    if (factory == nullptr) throw std::runtime_error("cannot load " FLANGER_CLAP_PATH);
    return *factory;
}

const auto kNoExtension = [](const clap_host*, const char*) -> const void* { return nullptr; };
const auto kIgnored = [](const clap_host*) {};
const clap_host kHost = {CLAP_VERSION_INIT, nullptr,  "flanger tests", "Vornak", "", "0",
                         kNoExtension,      kIgnored, kIgnored,        kIgnored};

using Bytes = std::vector<std::uint8_t>;

struct ParamChange {
    std::uint32_t Frame;
    std::uint32_t Control;
    float Value;  // in the control's units, as its port takes it
};

// One instance from creation to destruction; `changes` in frame order.
struct ClapRun {
    const plugins::PluginIdentity& Plugin;
    std::uint32_t SampleRate;
    std::vector<std::uint32_t> BlockSizes;
    std::vector<ParamChange> Changes;
    std::optional<Bytes> State;  // loaded before activation
};

template <typename Ext>
const Ext& ExtensionOf(const clap_plugin* plugin, const char* id) {
    return *static_cast<const Ext*>(plugin->get_extension(plugin, id));
}

Bytes SaveState(const clap_plugin* plugin) {
    Bytes bytes;
    const clap_ostream out{&bytes, [](const clap_ostream* s, const void* data, std::uint64_t size) {
                               const auto* from = static_cast<const std::uint8_t*>(data);
                               static_cast<Bytes*>(s->ctx)->insert(
                                   static_cast<Bytes*>(s->ctx)->end(), from, from + size);
                               return static_cast<std::int64_t>(size);
                           }};
    EXPECT_TRUE(ExtensionOf<clap_plugin_state>(plugin, CLAP_EXT_STATE).save(plugin, &out));
    return bytes;
}

// A stream over `bytes` that hands out at most 5 bytes a read; null `bytes` fails every read.
bool LoadState(const clap_plugin* plugin, const Bytes* bytes) {
    std::pair<const Bytes*, std::size_t> at{bytes, 0};
    const clap_istream in{
        &at, [](const clap_istream* s, void* data, std::uint64_t size) {
            auto& [from, offset] = *static_cast<decltype(at)*>(s->ctx);
            if (from == nullptr) return std::int64_t{-1};
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>({size, 5, from->size() - offset}));
            if (n > 0) std::memcpy(data, from->data() + offset, n);  // an empty state has no data
            offset += n;
            return static_cast<std::int64_t>(n);
        }};
    return ExtensionOf<clap_plugin_state>(plugin, CLAP_EXT_STATE).load(plugin, &in);
}

// Renders `input`; the output and the state saved at the end.
std::pair<Channels, Bytes> RunClap(const ClapRun& run, const Channels& input) {
    const clap_plugin* plugin = Factory().create_plugin(&Factory(), &kHost, run.Plugin.ClapId);
    EXPECT_NE(plugin, nullptr);
    if (plugin == nullptr || !plugin->init(plugin)) return {};
    EXPECT_TRUE(!run.State || LoadState(plugin, &*run.State));
    EXPECT_TRUE(plugin->activate(plugin, run.SampleRate, 1, 8192));
    const std::uint32_t channels = run.Plugin.Channels;
    Channels output(channels, std::vector<float>(input[0].size()));
    std::vector<clap_event_param_value> events;
    std::size_t nextChange = 0;
    InHostBuffers(run.BlockSizes, input, output, [&](std::size_t offset, std::uint32_t frames,
                                                     float** ins, float** outs) {
        events.clear();
        // A change at a block's first frame comes at the end of the block before it.
        for (; nextChange < run.Changes.size() && run.Changes[nextChange].Frame <= offset + frames;
             ++nextChange) {
            const ParamChange& change = run.Changes[nextChange];
            clap_event_param_value& event = events.emplace_back();
            event.header = {sizeof event, static_cast<std::uint32_t>(change.Frame - offset),
                            CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
            event.param_id = change.Control;
            event.note_id = event.port_index = event.channel = event.key = -1;
            event.value = change.Control != kEnabledControl ? change.Value : change.Value <= 0.0f;
        }
        const clap_input_events in{
            &events,
            [](const clap_input_events* e) {
                return static_cast<std::uint32_t>(static_cast<decltype(events)*>(e->ctx)->size());
            },
            [](const clap_input_events* e, std::uint32_t k) -> const clap_event_header* {
                return &(*static_cast<decltype(events)*>(e->ctx))[k].header;
            }};
        clap_audio_buffer inBuffer{ins, nullptr, channels, 0, 0};
        clap_audio_buffer outBuffer{outs, nullptr, channels, 0, 0};
        const clap_process process{-1, frames, nullptr, &inBuffer, &outBuffer, 1, 1, &in, nullptr};
        const long allocations = CountedAllocations::Count();
        {
            const CountedAllocations counted;
            EXPECT_EQ(plugin->process(plugin, &process), CLAP_PROCESS_CONTINUE);
        }
        EXPECT_EQ(CountedAllocations::Count(), allocations) << "process allocated";
    });
    Bytes state = SaveState(plugin);
    plugin->deactivate(plugin);
    plugin->destroy(plugin);
    return {output, state};
}

// Every control of `settings` set at frame 0, the bypass as `enabled` says.
std::vector<ParamChange> AtStart(const plugins::PluginIdentity& plugin, const LiveSettings& s,
                                 bool enabled = true) {
    std::vector<ParamChange> changes;
    std::vector<float> values = ControlsFor(s);
    values[kEnabledControl] = enabled ? 1.0f : 0.0f;
    for (std::uint32_t i = 0; i < kControlCount; ++i) {
        if (plugins::HasControl(plugin.Channels, i)) changes.push_back({0, i, values[i]});
    }
    return changes;
}

TEST(ClapPlugin, RendersLikeTheEngineKeepsItsStateAndRefusesDamagedState) {
    constexpr std::uint32_t kRate = 44100;
    // Mid-block, a second and a half in: the click criterion's second before it is steady.
    constexpr std::uint32_t kChange = 258 * 256 + 100;
    struct Case {
        int plugin;  // index into kPlugins
        LiveSettings settings;
        std::vector<std::uint32_t> blockSizes;
        std::optional<std::pair<std::uint32_t, float>> change;  // control, value at kChange
        bool bypassed = false;                                  // the output is the input
        int sameAs = -1;  // a case whose output this one's equals bit for bit
    };
    const Case cases[] = {
        {0, {}, {512}, {}},
        {1, {100, 10, 100, 1, 99, 200}, {1000, 300, 7}, {}},
        {0, {37, 25, 73, 0, -45, 37}, {0, 1, 4096, 17, 0, 333}, {}},
        {1, {90, 50, 50, 0, 80, 10, true}, {256, 3}, {}},
        {1, {.Feedback = 90, .Level = -30}, {64, 1000}, {}, true},
        {0, {90, 50, 50, 0, 10, 10}, {256}, {{kDelayControl, 10.0f}}},
        // The change at the end of a block of 52, before steady blocks.
        {0, {90, 50, 50, 0, 10, 10}, {48, 52}, {{kDelayControl, 10.0f}}, false, 5},
        {1, {90, 50, 50, 1, 10, 10}, {256}, {{kFeedbackControl, 0.99f}}},
        {1, {90, 50, 50, 1, -10, 10}, {256}, {{kSpreadControl, 180.0f}}},
        {0, {90, 50, 50, 0, 10, 10}, {256}, {{kLevelControl, -24.0f}}},
        {1, {90, 50, 50, 1, 10, 10}, {256}, {{kEnabledControl, 0.0f}}},
    };
    std::vector<Channels> outputs;
    for (const Case& c : cases) {
        const auto& plugin = kPlugins[c.plugin];
        const std::string what = std::string(plugin.ClapId) + " case " +
                                 std::to_string(&c - cases) + " block " +
                                 std::to_string(c.blockSizes[0]);
        const Channels input = c.change
                                   ? SineInput(plugin.Channels, kChange + kRate + kRate / 10, kRate)
                                   : WhiteNoise(plugin.Channels, 3 * kRate / 2, kRate);
        ClapRun run{plugin, kRate, c.blockSizes, AtStart(plugin, c.settings, !c.bypassed), {}};
        if (c.change) run.Changes.push_back({kChange, c.change->first, c.change->second});
        const auto [output, state] = RunClap(run, input);
        outputs.push_back(output);
        if (c.sameAs >= 0) ExpectSameBits(output, outputs[c.sameAs], what);
        if (c.change) {
            for (std::uint32_t j = 0; j < plugin.Channels; ++j) {
                ExpectNoClick(output[j], kChange, kRate, what + " channel " + std::to_string(j));
            }
        } else {
            ExpectSameBits(output, c.bypassed ? input : ThroughOpenStream(c.settings, kRate, input),
                           what);
        }
        // The state at the end, loaded into a new instance, renders as the settings do.
        if (c.change) continue;
        const auto [again, stateAgain] = RunClap({plugin, kRate, c.blockSizes, {}, state}, input);
        ExpectSameBits(again, output, what + " from its saved state");
        EXPECT_EQ(stateAgain, state) << what;

        // Damaged bytes are refused, and the instance keeps the state it had.
        const auto damaged = [&state](std::size_t at, std::vector<std::uint8_t> with) {
            Bytes bytes = state;
            bytes.resize(std::max(bytes.size(), at + with.size()));
            std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
            return bytes;
        };
        const Bytes hostile[] = {
            {},
            Bytes(state.begin(), state.end() - 1),  // the last value cut short
            damaged(state.size(), {0}),             // a byte after the end
            damaged(0, {'X'}),                      // another format's mark
            damaged(4, {2}),                        // a version to come
            damaged(8, {13}),                       // more pairs than controls
            damaged(8, {0xFF, 0xFF, 0xFF, 0xFF}),   // a count that overflows a size
            damaged(12, {kControlCount}),           // an id no plug-in has
            damaged(20, {kDelayControl}),           // the delay twice
            damaged(16, {0, 0, 0xC0, 0x7F}),        // a NaN
            damaged(16, {0, 0, 0x80, 0xFF}),        // minus infinity
            damaged(12, {std::uint8_t(plugin.Channels == 1 ? 9 : 99)}),  // not this plug-in's
        };
        const clap_plugin* target = Factory().create_plugin(&Factory(), &kHost, plugin.ClapId);
        ASSERT_TRUE(target != nullptr && target->init(target));
        ASSERT_TRUE(LoadState(target, &state));
        for (const Bytes& bytes : hostile) {
            EXPECT_FALSE(LoadState(target, &bytes)) << what << " took " << bytes.size() << " bytes";
        }
        EXPECT_FALSE(LoadState(target, nullptr)) << what << " read error";
        EXPECT_EQ(SaveState(target), state) << what << " after damaged states";
        target->destroy(target);
    }
}

#ifdef FLANGER_CLAP_WINDOW_TEST
// The plug-in's window in a host window of our own (host_window.h): it appears there, named as
// the LV2 plug-ins' window is, at the size the plug-in asks the host for, a
// control the host moves reaches it, and it goes with the plug-in's gui.
TEST(ClapPlugin, ShowsItsWindowInTheHostsWindow) {
    const HostWindow parent;
    if (!parent.IsOpen()) GTEST_SKIP() << "no display";
#ifdef _WIN32
    constexpr const char* kApi = CLAP_WINDOW_API_WIN32;
#else
    constexpr const char* kApi = CLAP_WINDOW_API_X11;
#endif
    static std::pair<std::uint32_t, std::uint32_t> requested;
    static const clap_host_gui hostGui{[](const clap_host*) {},
                                       [](const clap_host*, std::uint32_t w, std::uint32_t h) {
                                           return requested = {w, h}, true;
                                       },
                                       [](const clap_host*) { return false; },
                                       [](const clap_host*) { return false; },
                                       [](const clap_host*, bool) {}};
    static const clap_host_timer_support timers{
        [](const clap_host*, std::uint32_t, clap_id* id) { return *id = 7, true; },
        [](const clap_host*, clap_id id) { return id == 7; }};
    clap_host host = kHost;
    host.get_extension = [](const clap_host*, const char* id) -> const void* {
        if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &hostGui;
        return std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0 ? &timers : nullptr;
    };
    const clap_plugin* plugin = Factory().create_plugin(&Factory(), &host, kPlugins[1].ClapId);
    ASSERT_TRUE(plugin != nullptr && plugin->init(plugin));
    const auto& gui = ExtensionOf<clap_plugin_gui>(plugin, CLAP_EXT_GUI);
    const auto& timer = ExtensionOf<clap_plugin_timer_support>(plugin, CLAP_EXT_TIMER_SUPPORT);
    EXPECT_FALSE(gui.is_api_supported(plugin, kApi, true));
    ASSERT_TRUE(gui.create(plugin, kApi, false));
    clap_window window{kApi, {}};
#ifdef _WIN32
    window.win32 = reinterpret_cast<clap_hwnd>(parent.Native());
#else
    window.x11 = parent.Native();
#endif
    ASSERT_TRUE(gui.set_parent(plugin, &window));
    for (int tick = 0; tick < 10; ++tick) timer.on_timer(plugin, 7);
    std::uint32_t width = 0, height = 0;
    EXPECT_TRUE(gui.get_size(plugin, &width, &height));
    EXPECT_EQ(requested, std::make_pair(width, height));
    EXPECT_GT(width * height, 100u * 100u);
    // The host moves the delay to 2.5 ms (a flush while inactive); the window's label follows.
    clap_event_param_value delay{};
    delay.header = {sizeof delay, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    delay.param_id = kDelayControl;
    delay.value = 2.5;
    const clap_input_events in{
        &delay, [](const clap_input_events*) { return 1u; },
        [](const clap_input_events* e, std::uint32_t) {
            return &static_cast<const clap_event_param_value*>(e->ctx)->header;
        }};
    ExtensionOf<clap_plugin_params>(plugin, CLAP_EXT_PARAMS).flush(plugin, &in, nullptr);
    for (int tick = 0; tick < 10; ++tick) timer.on_timer(plugin, 7);
    EXPECT_TRUE(parent.Shows({"Flanger settings"}));
    EXPECT_TRUE(parent.Shows({"2.5"}));
    // A person turns "Invert feedback" on in the window: the host's next flush records it.
    ASSERT_TRUE(parent.Click("Invert feedback"));
    std::vector<clap_event_param_value> recorded;
    const clap_output_events out{
        &recorded, [](const clap_output_events* e, const clap_event_header* event) {
            if (event->type == CLAP_EVENT_PARAM_VALUE) {
                static_cast<std::vector<clap_event_param_value>*>(e->ctx)->push_back(
                    *reinterpret_cast<const clap_event_param_value*>(event));
            }
            return true;
        }};
    for (int tick = 0; tick < 50 && recorded.empty(); ++tick) {
        timer.on_timer(plugin, 7);
        ExtensionOf<clap_plugin_params>(plugin, CLAP_EXT_PARAMS).flush(plugin, nullptr, &out);
        if (recorded.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0].param_id, kFeedbackInvertControl);
    EXPECT_EQ(recorded[0].value, 1.0);
    gui.destroy(plugin);
    EXPECT_EQ(parent.Shown().size(), 0u) << "the window outlived the gui";
    plugin->destroy(plugin);
}
#endif

}  // namespace
}  // namespace flanger::testing
