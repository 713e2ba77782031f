// The LV2 plug-ins in a host of our own over lilv: what the bundle tells a host, the output
// with constant controls bit for bit against the engine OpenStream builds from the same record,
// whatever the blocks and buffers, and no allocation in connect_port and run.
#include "lv2_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine_test_support.h"
#include "interface/effect_record.h"

namespace flanger::testing {
namespace {

using plugins::ControlUnit;
using plugins::kControlCount;
using plugins::kControls;
using plugins::kPlugins;

std::string Text(LilvNode* node) {
    std::string text = node != nullptr ? lilv_node_as_string(node) : "";
    lilv_node_free(node);
    return text;
}

TEST(Lv2Bundle, DescribesBothPluginsAndTheirPorts) {
    Lv2World world;
    const std::string lv2 = "http://lv2plug.in/ns/lv2core#";
    const std::string units = "http://lv2plug.in/ns/extensions/units#";
    const char* unitNames[] = {"ms", "hz", "coef", ""};
    for (const plugins::PluginIdentity& identity : kPlugins) {
        SCOPED_TRACE(identity.Lv2Uri);
        const LilvPlugin* plugin = world.Plugin(identity.Lv2Uri);
        ASSERT_NE(plugin, nullptr);
        EXPECT_EQ(Text(lilv_plugin_get_name(plugin)), identity.Name);
        EXPECT_EQ(Text(lilv_plugin_get_author_name(plugin)), "Vornak");
        EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin))),
                     (lv2 + "FlangerPlugin").c_str());
        EXPECT_TRUE(lilv_plugin_has_feature(plugin, world.Uri(lv2 + "hardRTCapable")));
        ASSERT_EQ(lilv_plugin_get_num_ports(plugin), plugins::PortCount(identity.Channels));

        for (std::uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
            if (i >= kControlCount) {
                const bool input = i < kControlCount + identity.Channels;
                const std::uint32_t j = (i - kControlCount) % identity.Channels;
                EXPECT_TRUE(lilv_port_is_a(plugin, port, world.Uri(lv2 + "AudioPort")));
                EXPECT_TRUE(lilv_port_is_a(plugin, port,
                                           world.Uri(lv2 + (input ? "InputPort" : "OutputPort"))));
                EXPECT_EQ(symbol, (input ? plugins::AudioInputPort(identity.Channels, j)
                                         : plugins::AudioOutputPort(identity.Channels, j))
                                      .Symbol);
                continue;
            }
            const plugins::ControlPort& expected = kControls[i];
            EXPECT_EQ(symbol, expected.Symbol);
            EXPECT_EQ(Text(lilv_port_get_name(plugin, port)), expected.Name);
            LilvNode *def, *min, *max;
            lilv_port_get_range(plugin, port, &def, &min, &max);
            EXPECT_EQ(lilv_node_as_float(def), expected.Default) << symbol;
            EXPECT_EQ(lilv_node_as_float(min), expected.Minimum) << symbol;
            EXPECT_EQ(lilv_node_as_float(max), expected.Maximum) << symbol;
            lilv_node_free(def), lilv_node_free(min), lilv_node_free(max);
            EXPECT_EQ(lilv_port_has_property(plugin, port, world.Uri(lv2 + "toggled")),
                      expected.Unit == ControlUnit::Switch);
            EXPECT_EQ(
                lilv_port_has_property(
                    plugin, port, world.Uri("http://lv2plug.in/ns/ext/port-props#logarithmic")),
                expected.Logarithmic);
            const std::string unit = Text(lilv_port_get(plugin, port, world.Uri(units + "unit")));
            const char* unitName = unitNames[static_cast<int>(expected.Unit)];
            EXPECT_EQ(unit, *unitName != '\0' ? units + unitName : "") << symbol;
        }
    }
}

struct ConstantCase {
    const char* name;
    int plugin;  // index into kPlugins
    LiveSettings settings;
    std::uint32_t sampleRate;
    BufferLayout layout;
    std::vector<std::uint32_t> blockSizes;
};

std::vector<ConstantCase> ConstantCases() {
    const LiveSettings corner{100, 10, 100, 1, 100, 200};
    const LiveSettings other{37, 25, 73, 0, -45, 37};
    const LiveSettings sine{66, 100, 10, 1, 10, 10};
    return {
        {"defaults_mono_512", 0, {}, 44100, BufferLayout::Separate, {512}},
        {"defaults_stereo_in_place", 1, {}, 48000, BufferLayout::InPlace, {64}},
        {"corner_stereo_crossed", 1, corner, 44100, BufferLayout::Crossed, {1000, 300, 7}},
        {"off_feedback_mono_odd_blocks",
         0,
         other,
         96000,
         BufferLayout::InPlace,
         {0, 1, 4096, 17, 0, 333}},
        {"sine_stereo_varying", 1, sine, 22050, BufferLayout::Separate, {2, 8192, 129, 64}},
    };
}

// What OpenStream makes of the same record, over the whole input at once.
Channels ThroughOpenStream(const LiveSettings& s, std::uint32_t sampleRate, Channels audio) {
    EffectSettings record = DefaultEffectSettings();
    record.Depth = s.Depth, record.Delay = s.Delay, record.Width = s.Width;
    record.Sine = s.Sine, record.Feedback = s.Feedback, record.Speed = s.Speed;
    auto engine = CreateEngineFor(record);
    engine->Open(StreamFormat{1, static_cast<std::uint16_t>(audio.size()), sampleRate});
    ProcessSpan(*engine, audio, 0, static_cast<std::uint32_t>(audio[0].size()));
    return audio;
}

void ExpectSameBits(const Channels& actual, const Channels& expected, std::size_t from = 0) {
    for (std::size_t j = 0; j < expected.size(); ++j) {
        for (std::size_t i = from; i < expected[j].size(); ++i) {
            if (std::memcmp(&actual[j][i], &expected[j][i], sizeof(float)) != 0) {
                FAIL() << "channel " << j << " frame " << i << ": plug-in " << actual[j][i]
                       << ", OpenStream " << expected[j][i];
            }
        }
    }
}

TEST(Lv2Plugin, ConstantControlsGiveTheBitsOfOpenStream) {
    Lv2World world;
    for (const ConstantCase& c : ConstantCases()) {
        SCOPED_TRACE(c.name);
        const auto& identity = kPlugins[c.plugin];
        const Channels input = WhiteNoise(identity.Channels, 3 * c.sampleRate / 2, c.sampleRate);
        Lv2Instance instance(world, identity, c.sampleRate, c.layout);
        ASSERT_TRUE(instance.Valid());
        instance.SetControls(ControlsFor(c.settings));
        const Channels expected = ThroughOpenStream(c.settings, c.sampleRate, input);
        ExpectSameBits(instance.Process(input, c.blockSizes), expected);
        // activate starts afresh.
        instance.Reactivate();
        ExpectSameBits(instance.Process(input, c.blockSizes), expected);
    }
}

TEST(Lv2Plugin, ConnectPortAndRunAllocateNothing) {
    if (Lv2Instance::AllocationsInRun() < 0) GTEST_SKIP() << "not countable under ASan";
    Lv2World world;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& identity : kPlugins) {
        for (BufferLayout layout : {BufferLayout::Separate, BufferLayout::Crossed}) {
            Lv2Instance instance(world, identity, 44100, layout);
            const long before = Lv2Instance::AllocationsInRun();
            // Every control moves, also out of range and to NaN, in blocks of every size.
            const float moves[][2] = {{2.5f, 9.9f}, {10.0f, 1.0f}, {2.0f, 0.3f}, {0.1f, 1.0f},
                                      {1.0f, nan},  {0.0f, 1.0f},  {1.0f, -3.0f}};
            std::uint32_t step = 0;
            instance.Process(WhiteNoise(identity.Channels, 300000, 5), {0, 1, 64, 700, 4096, 13},
                             [&](std::size_t) {
                                 const std::uint32_t i = step % kControlCount;
                                 instance.Control(i) = moves[i][(step++ / kControlCount) % 2];
                             });
            EXPECT_EQ(Lv2Instance::AllocationsInRun(), before) << identity.Lv2Uri;
        }
    }
}

}  // namespace
}  // namespace flanger::testing
