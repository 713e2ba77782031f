// The LV2 plug-ins in a host of our own over lilv. It finds the built bundle through LV2_PATH as
// any host does and runs an instance block by block, its controls as floats, its audio buffers
// laid out separately, in place, or crossed (each output on the other channel's input buffer).
// With constant controls the output is bit for bit that of the engine OpenStream builds from the
// same record, whatever the blocks and buffers; connect_port and run allocate nothing; and moving
// a control makes no click.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <limits>

#include "allocation_count.h"
#include "plugin_test_support.h"

namespace flanger::testing {
namespace {

enum class BufferLayout { Separate, InPlace, Crossed };

struct Lv2Run {
    const plugins::PluginIdentity& Plugin;
    std::vector<float> Controls;  // every control, in the order of kControls
    std::vector<std::uint32_t> BlockSizes = {512};
    BufferLayout Layout = BufferLayout::Separate;
    double SampleRate = 44100.0;
    // Called before each block with its first frame; may move the controls.
    std::function<void(std::size_t offset, std::vector<float>& controls)> BeforeBlock = {};
};

// Runs `input` through a new instance `passes` times, with deactivate and activate between
// passes; the output of each pass.
std::vector<Channels> RunLv2(Lv2Run run, const Channels& input, int passes = 1) {
    // One world for the whole program, loaded from the build's bundle folder and the system's.
    static LilvWorld* const world = [] {
        ::setenv("LV2_PATH", FLANGER_LV2_DIR ":/usr/lib/lv2", 1);
        LilvWorld* loaded = lilv_world_new();
        lilv_world_load_all(loaded);
        return loaded;
    }();
    LilvNode* uri = lilv_new_uri(world, run.Plugin.Lv2Uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    LilvInstance* instance =
        plugin == nullptr ? nullptr : lilv_plugin_instantiate(plugin, run.SampleRate, nullptr);
    if (instance == nullptr) {
        ADD_FAILURE() << run.Plugin.Lv2Uri << " cannot be instantiated";
        return {};
    }

    const std::uint32_t channels = run.Plugin.Channels;
    const std::uint32_t largest = *std::max_element(run.BlockSizes.begin(), run.BlockSizes.end());
    Channels buffers((run.Layout == BufferLayout::Separate ? 2 : 1) * channels,
                     std::vector<float>(largest));
    const auto outputBuffer = [&](std::uint32_t j) {
        return run.Layout == BufferLayout::Separate  ? channels + j
               : run.Layout == BufferLayout::Crossed ? (j + 1) % channels
                                                     : j;
    };
    for (std::uint32_t i = 0; i < kControlCount; ++i) {
        if (!plugins::HasControl(channels, i)) continue;
        lilv_instance_connect_port(instance, plugins::ControlPortIndex(channels, i),
                                   &run.Controls[i]);
    }
    std::vector<Channels> outputs;
    for (int pass = 0; pass < passes; ++pass) {
        lilv_instance_activate(instance);
        Channels& output = outputs.emplace_back(channels, std::vector<float>(input[0].size()));
        InBuffersOf(run.BlockSizes, input[0].size(), [&](std::size_t offset, std::uint32_t frames) {
            if (run.BeforeBlock) run.BeforeBlock(offset, run.Controls);
            for (std::uint32_t j = 0; j < channels; ++j) {
                std::copy_n(input[j].begin() + offset, frames, buffers[j].begin());
            }
            {
                const CountedAllocations counted;
                for (std::uint32_t j = 0; j < channels; ++j) {
                    lilv_instance_connect_port(instance, plugins::kLeadingControls + j,
                                               buffers[j].data());
                    lilv_instance_connect_port(instance, plugins::kLeadingControls + channels + j,
                                               buffers[outputBuffer(j)].data());
                }
                lilv_instance_run(instance, frames);
            }
            for (std::uint32_t j = 0; j < channels; ++j) {
                std::copy_n(buffers[outputBuffer(j)].begin(), frames, output[j].begin() + offset);
            }
        });
        lilv_instance_deactivate(instance);
    }
    lilv_instance_free(instance);
    return outputs;
}

using plugins::kPlugins;

TEST(Lv2Plugin, ConstantControlsGiveTheBitsOfOpenStream) {
    struct Case {
        int plugin;  // index into kPlugins
        LiveSettings settings;
        std::uint32_t sampleRate;
        BufferLayout layout;
        std::vector<std::uint32_t> blockSizes;
        bool bypassed = false;  // then the output is the input, bit for bit
    };
    const Case cases[] = {
        {0, {}, 44100, BufferLayout::Separate, {512}},
        {1, {}, 48000, BufferLayout::InPlace, {64}},
        {1, {100, 10, 100, 1, 99, 200}, 44100, BufferLayout::Crossed, {1000, 300, 7}},
        {0, {37, 25, 73, 0, -45, 37}, 96000, BufferLayout::InPlace, {0, 1, 4096, 17, 0, 333}},
        {1, {66, 100, 10, 1, 10, 10}, 22050, BufferLayout::Separate, {2, 8192, 129, 64}},
        {1, {90, 50, 50, 0, 80, 10, true}, 44100, BufferLayout::Crossed, {256, 3}},
        {0, {50, 20, 90, 1, 99, 120, true}, 48000, BufferLayout::InPlace, {4096}},
        {1, {.Level = -60}, 44100, BufferLayout::Crossed, {100, 4096}},
        {0, {.Sine = 1, .Level = 117}, 48000, BufferLayout::Separate, {512}},
        {1, {.Feedback = 90, .Level = -30}, 44100, BufferLayout::Crossed, {64, 1000}, true},
    };
    for (const Case& c : cases) {
        const auto& plugin = kPlugins[c.plugin];
        const Channels input = WhiteNoise(plugin.Channels, 3 * c.sampleRate / 2, c.sampleRate);
        const Channels expected =
            c.bypassed ? input : ThroughOpenStream(c.settings, c.sampleRate, input);
        std::vector<float> controls = ControlsFor(c.settings);
        controls[kEnabledControl] = c.bypassed ? 0.0f : 1.0f;
        // The second pass follows deactivate and activate, which start afresh.
        const auto outputs = RunLv2(
            {plugin, controls, c.blockSizes, c.layout, static_cast<double>(c.sampleRate), {}},
            input, 2);
        for (const Channels& output : outputs) {
            ExpectSameBits(
                output, expected,
                std::string(plugin.Lv2Uri) + " at " + std::to_string(c.sampleRate) + " Hz");
        }
    }
}

TEST(Lv2Plugin, ConnectPortAndRunAllocateNothing) {
    if (CountedAllocations::Count() < 0) GTEST_SKIP() << "not countable under AddressSanitizer";
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Every control moves in turn, also out of its range and to NaN, in blocks of every size.
    const float moves[][2] = {{2.5f, 9.9f}, {10.0f, 1.0f},   {2.0f, 0.3f},    {0.1f, 1.0f},
                              {1.0f, nan},  {0.0f, 1.0f},    {1.0f, -3.0f},   {1.0f, 0.0f},
                              {0.0f, 1.0f}, {90.0f, 400.0f}, {-30.0f, 12.0f}, {0.0f, 1.0f}};
    static_assert(std::size(moves) == kControlCount, "a move for every control");
    for (const auto& plugin : kPlugins) {
        for (BufferLayout layout : {BufferLayout::Separate, BufferLayout::Crossed}) {
            const long before = CountedAllocations::Count();
            std::uint32_t step = 0;
            Lv2Run run{.Plugin = plugin,
                       .Controls = ControlsFor({}),
                       .BlockSizes = {0, 1, 64, 700, 4096, 13},
                       .Layout = layout};
            run.BeforeBlock = [&](std::size_t, std::vector<float>& controls) {
                const std::uint32_t i = step % kControlCount;
                controls[i] = moves[i][(step++ / kControlCount) % 2];
            };
            RunLv2(run, WhiteNoise(plugin.Channels, 300000, 5));
            EXPECT_EQ(CountedAllocations::Count(), before) << plugin.Lv2Uri;
        }
    }
}

// With a 220 Hz sine at -6 dBFS as input, the largest second difference |y[n] - 2y[n-1] + y[n-2]|
// of the output in the 100 ms after a change stays within 1.5 times its largest value over the
// second before the change and over the second of steady state after it. Every control, towards
// both ends of its range, from both sweeps with feedback on and off, mono and stereo.
TEST(Lv2Plugin, MovingAControlMakesNoClick) {
    using namespace plugins;
    constexpr std::uint32_t kRate = 44100, kBlock = 256;
    constexpr std::size_t kChange = 258 * kBlock, kClickWindow = kRate / 10;
    constexpr std::size_t kTotal = kChange + kClickWindow + kRate;
    // A switch (target -1) flips; a number moves to its target.
    const std::pair<std::uint32_t, float> changes[] = {
        {kDelayControl, 1.0f},       {kDelayControl, 10.0f},  {kWidthControl, 1.0f},
        {kWidthControl, 10.0f},      {kSpeedControl, 2.0f},   {kSpeedControl, 0.5f},
        {kDepthControl, 0.1f},       {kDepthControl, 1.0f},   {kFeedbackControl, 1.0f},
        {kFeedbackOnControl, -1.0f}, {kSineControl, -1.0f},   {kFeedbackInvertControl, -1.0f},
        {kSpreadControl, 180.0f},    {kLevelControl, -24.0f}, {kLevelControl, 12.0f},
        {kEnabledControl, -1.0f}};
    for (const auto& plugin : kPlugins) {
        const Channels input = SineInput(plugin.Channels, kTotal, kRate);
        for (const LiveSettings& from : {LiveSettings{90, 50, 50, 0, 10, 10},
                                         {90, 50, 50, 0, -10, 10},
                                         {90, 50, 50, 1, 10, 10},
                                         {90, 50, 50, 1, -10, 10}}) {
            const Channels unchanged =
                RunLv2({.Plugin = plugin, .Controls = ControlsFor(from), .BlockSizes = {kBlock}},
                       input)[0];
            for (const auto& [control, to] : changes) {
                if (!HasControl(plugin.Channels, control)) continue;
                Lv2Run run{.Plugin = plugin, .Controls = ControlsFor(from), .BlockSizes = {kBlock}};
                run.BeforeBlock = [&](std::size_t offset, std::vector<float>& controls) {
                    if (offset == kChange)
                        controls[control] = to >= 0.0f ? to : 1.0f - controls[control];
                };
                const Channels output = RunLv2(run, input)[0];
                // With feedback every control moves the output (a switch of the feedback's
                // sign or gain alone does nothing while it is off).
                EXPECT_TRUE(from.Feedback < 0 || output != unchanged) << kControls[control].Key;
                for (std::uint32_t j = 0; j < plugin.Channels; ++j) {
                    ExpectNoClick(output[j], kChange, kRate,
                                  std::string(plugin.Lv2Uri) + (from.Sine ? " sine" : " triangle") +
                                      (from.Feedback > 0 ? " feedback " : " no feedback ") +
                                      kControls[control].Key + " to " + std::to_string(to) +
                                      " channel " + std::to_string(j));
                }
            }
        }
    }
}

}  // namespace
}  // namespace flanger::testing
