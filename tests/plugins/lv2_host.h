// A small LV2 host over lilv for the plug-in tests: it finds the built bundle through LV2_PATH as
// any host does, and runs an instance block by block with its controls as floats and its audio
// buffers laid out separately, in place, or crossed (each output on the other channel's input).
#pragma once

#include <lilv/lilv.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugins/plugin_ports.h"

namespace flanger::testing {

using Channels = std::vector<std::vector<float>>;

class Lv2World {
public:
    // Loads the build's bundle folder (FLANGER_LV2_DIR) and the system's specifications.
    Lv2World();
    ~Lv2World();
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    const LilvPlugin* Plugin(const char* uri) const;
    // A URI node that lives as long as the world.
    const LilvNode* Uri(const std::string& uri);
    LilvWorld* World() const { return Handle; }

private:
    LilvWorld* Handle;
    std::vector<LilvNode*> Nodes;
};

enum class BufferLayout { Separate, InPlace, Crossed };

// The controls of a record's values, in the controls' units.
std::vector<float> ControlsFor(const LiveSettings& settings);

class Lv2Instance {
public:
    Lv2Instance(const Lv2World& world, const plugins::PluginIdentity& plugin, double sampleRate,
                BufferLayout layout = BufferLayout::Separate);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool Valid() const { return Instance != nullptr; }
    float& Control(std::uint32_t index) { return Controls[index]; }
    void SetControls(const std::vector<float>& values) { Controls = values; }
    void Reactivate();

    // Runs `input` through the instance in blocks of the sizes `blockSizes` gives, one after the
    // other and repeated; `beforeBlock(offset)` may move the controls before each block.
    Channels Process(const Channels& input, const std::vector<std::uint32_t>& blockSizes,
                     const std::function<void(std::size_t offset)>& beforeBlock = {});

    // Allocations the plug-in made inside connect_port and run so far (-1 where they cannot be
    // counted: under AddressSanitizer).
    static long AllocationsInRun();

private:
    static constexpr std::uint32_t kMaxBlock = 8192;
    // The buffer that channel j's output is connected to.
    std::uint32_t OutputBuffer(std::uint32_t channel) const;
    void ConnectAudio();

    LilvInstance* Instance;
    std::uint32_t ChannelCount;
    BufferLayout Layout;
    std::vector<float> Controls;
    Channels Buffers;  // the host's audio buffers: inputs, then outputs where separate
};

}  // namespace flanger::testing
