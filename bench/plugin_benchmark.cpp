// Cost per frame of plug-ins as a host runs them: LV2 plug-ins over lilv, and our CLAP and VST3
// plug-ins through hosts of a few lines over their formats' headers. Each plug-in runs at
// 44.1 kHz with its default controls, every audio port on a buffer of its own, white noise in,
// in blocks of 64 and 512 frames. The time is the thread's processor time (not the wall clock),
// the best of several rounds taken in turns by every plug-in, so that other work on the machine
// disturbs it little and all alike. Costs are per stereo frame; the last lines give the first
// plug-in's cost over the fastest other one's, and each other format of ours over the first.
//
// usage: plugin_benchmark [--frames N] [--rounds N] PLUGIN...
//        PLUGIN: an LV2 URI, with ?symbol=value&... for controls away from their defaults
//        (urn:vornak:flanger:stereo?sine=1); clap=LIBRARY#ID; vst3=MODULE (the .so in a bundle)
#include <lilv/lilv.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plugin_runners.h"

namespace {

constexpr std::uint32_t kBlockSizes[2] = {64, 512};

// One LV2 plug-in instance with its controls at their defaults and its own audio buffers.
class Lv2Runner : public PluginRunner {
public:
    // `settings`: "symbol=value" pairs joined by '&', for controls away from their defaults.
    Lv2Runner(LilvWorld* world, const LilvPlugin* plugin, const std::string& settings,
              std::uint32_t block)
        : PluginRunner(block) {
        Instance = lilv_plugin_instantiate(plugin, 44100.0, nullptr);
        if (Instance == nullptr) return;
        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
        std::vector<float> minimum(ports), maximum(ports), defaults(ports);
        lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
        LilvNode* audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
        LilvNode* input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
        LilvNode* control = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
        Controls.assign(ports, 0.0f);
        Buffers.reserve(ports);
        for (std::uint32_t i = 0; i < ports; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (lilv_port_is_a(plugin, port, audio)) {
                const bool isInput = lilv_port_is_a(plugin, port, input);
                (isInput ? Inputs : Outputs) += 1;
                lilv_instance_connect_port(Instance, i, AddBuffer(isInput));
            } else if (lilv_port_is_a(plugin, port, control)) {
                Controls[i] = std::isnan(defaults[i]) ? minimum[i] : defaults[i];
                const std::string symbol =
                    lilv_node_as_string(lilv_port_get_symbol(plugin, port)) + std::string("=");
                for (std::size_t at = 0; at < settings.size();) {
                    const std::size_t end = std::min(settings.find('&', at), settings.size());
                    if (settings.compare(at, symbol.size(), symbol) == 0) {
                        Controls[i] = std::stof(settings.substr(at + symbol.size(), end));
                    }
                    at = end + 1;
                }
                lilv_instance_connect_port(Instance, i, &Controls[i]);
            } else {
                lilv_instance_connect_port(Instance, i, nullptr);
            }
        }
        lilv_node_free(audio);
        lilv_node_free(input);
        lilv_node_free(control);
        lilv_instance_activate(Instance);
    }
    ~Lv2Runner() override {
        if (Instance == nullptr) return;
        lilv_instance_deactivate(Instance);
        lilv_instance_free(Instance);
    }

    bool Valid() const override { return Instance != nullptr; }

private:
    void RunBlock() override { lilv_instance_run(Instance, Block); }

    LilvInstance* Instance = nullptr;
    std::vector<float> Controls;
};

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t frames = 441000;  // 10 s of audio per run
    int rounds = 20;
    std::vector<std::string> uris;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            frames = std::stoull(argv[++i]);
        } else if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::stoi(argv[++i]));
        } else {
            uris.emplace_back(argv[i]);
        }
    }
    if (uris.empty()) {
        std::fprintf(stderr, "usage: plugin_benchmark [--frames N] [--rounds N] PLUGIN...\n");
        return 2;
    }

    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    // Every plug-in at both block sizes, taking turns in every round, so that a busy moment of
    // the machine does not fall on one of them alone.
    std::vector<std::unique_ptr<PluginRunner>> benches;
    int status = 0;
    for (const std::string& uri : uris) {
        const LilvPlugin* plugin = nullptr;
        if (!IsOtherFormat(uri)) {
            LilvNode* node = lilv_new_uri(world, uri.substr(0, uri.find('?')).c_str());
            plugin = lilv_plugins_get_by_uri(plugins, node);
            lilv_node_free(node);
        }
        for (std::uint32_t block : kBlockSizes) {
            if (IsOtherFormat(uri)) {
                benches.push_back(CreateOtherFormatRunner(uri, block));
            } else {
                benches.push_back(plugin == nullptr ? nullptr
                                                    : std::make_unique<Lv2Runner>(
                                                          world, plugin,
                                                          uri.find('?') == std::string::npos
                                                              ? std::string()
                                                              : uri.substr(uri.find('?') + 1),
                                                          block));
            }
        }
    }
    for (int round = 0; round < rounds; ++round) {
        for (auto& bench : benches) {
            if (bench != nullptr && bench->Valid()) bench->Run(frames);
        }
    }
    // Per stereo frame: a plug-in with one input runs once per channel of a stereo track.
    const auto stereoFactor = [](const PluginRunner* bench) {
        return bench->Inputs >= 2 ? 1.0 : 2.0;
    };
    std::printf("%-62s %7s %14s %14s %8s\n", "plug-in (ns per stereo frame)", "in/out",
                "64-frame blocks", "512-frame blocks", "64/512");
    // The first URI against the fastest of the others (those that do not share its prefix up
    // to the last ':'), at each block size.
    const std::string ours = uris[0].substr(0, uris[0].rfind(':') + 1);
    double fastest[2] = {0.0, 0.0};
    std::vector<std::string> formats;
    std::string fastestName[2];
    for (std::size_t i = 0; i < uris.size(); ++i) {
        const PluginRunner* small = benches[2 * i].get();
        const PluginRunner* large = benches[2 * i + 1].get();
        if (small == nullptr || !small->Valid() || !large->Valid()) {
            std::printf("%-62s cannot be run\n", uris[i].c_str());
            status = 1;
            continue;
        }
        const double perStereo[2] = {small->Best * stereoFactor(small),
                                     large->Best * stereoFactor(large)};
        std::printf("%-62s %3u/%-3u %14.2f %14.2f %8.2f\n", uris[i].c_str(), small->Inputs,
                    small->Outputs, perStereo[0], perStereo[1], small->Best / large->Best);
        if (uris[i].rfind(ours, 0) == 0) continue;
        if (IsOtherFormat(uris[i])) {
            // Another format of ours: against the first plug-in, which it should cost the same.
            if (benches[0] != nullptr && benches[0]->Valid() && benches[1]->Valid()) {
                formats.push_back(uris[i] + ": " + Ratio(*small, *benches[0]) + " at 64 frames, " +
                                  Ratio(*large, *benches[1]) + " at 512");
            }
            continue;
        }
        for (int b = 0; b < 2; ++b) {
            if (fastest[b] == 0.0 || perStereo[b] < fastest[b]) {
                fastest[b] = perStereo[b];
                fastestName[b] = uris[i];
            }
        }
    }
    for (const std::string& line : formats) {
        std::printf("%s against %s\n", line.c_str(), uris[0].c_str());
    }
    // Each stereo LV2 plug-in of ours (the first URI, and the same with other settings) against
    // the fastest other.
    for (std::size_t i = 0; i < uris.size() && fastest[0] > 0.0; ++i) {
        const PluginRunner* mine[2] = {benches[2 * i].get(), benches[2 * i + 1].get()};
        if (uris[i].rfind(uris[0].substr(0, uris[0].find('?')), 0) != 0 || mine[0] == nullptr ||
            !mine[0]->Valid() || !mine[1]->Valid()) {
            continue;
        }
        std::printf("%s against the fastest other: %.2fx at 64 frames (%s), %.2fx at 512 (%s)\n",
                    uris[i].c_str(), mine[0]->Best * stereoFactor(mine[0]) / fastest[0],
                    fastestName[0].c_str(), mine[1]->Best * stereoFactor(mine[1]) / fastest[1],
                    fastestName[1].c_str());
    }
    benches.clear();
    lilv_world_free(world);
    return status;
}
