// Cost per frame of LV2 plug-ins as a host runs them, measured over lilv: each plug-in at
// 44.1 kHz with its default controls, every audio port on a buffer of its own, white noise in,
// in blocks of 64 and 512 frames. The time is the thread's processor time (not the wall clock),
// the best of several rounds taken in turns by every plug-in, so that other work on the machine
// disturbs it little and all alike. Costs are per stereo frame; the last line gives the first
// plug-in's cost over the fastest other one's.
//
// usage: lv2_flanger_benchmark [--frames N] [--rounds N] URI...
#include <lilv/lilv.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr std::uint32_t kBlockSizes[2] = {64, 512};

// One plug-in instance with its controls at their defaults and its own audio buffers.
class Bench {
public:
    Bench(LilvWorld* world, const LilvPlugin* plugin, std::uint32_t block) : Block(block) {
        Instance = lilv_plugin_instantiate(plugin, 44100.0, nullptr);
        if (Instance == nullptr) return;
        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
        std::vector<float> minimum(ports), maximum(ports), defaults(ports);
        lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), defaults.data());
        LilvNode* audio = lilv_new_uri(world, LILV_URI_AUDIO_PORT);
        LilvNode* input = lilv_new_uri(world, LILV_URI_INPUT_PORT);
        LilvNode* control = lilv_new_uri(world, LILV_URI_CONTROL_PORT);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        Controls.assign(ports, 0.0f);
        Buffers.reserve(ports);
        for (std::uint32_t i = 0; i < ports; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
            if (lilv_port_is_a(plugin, port, audio)) {
                const bool isInput = lilv_port_is_a(plugin, port, input);
                (isInput ? Inputs : Outputs) += 1;
                Buffers.emplace_back(block);
                for (float& sample : Buffers.back()) sample = isInput ? noise(random) : 0.0f;
                lilv_instance_connect_port(Instance, i, Buffers.back().data());
            } else if (lilv_port_is_a(plugin, port, control)) {
                Controls[i] = std::isnan(defaults[i]) ? minimum[i] : defaults[i];
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
    ~Bench() {
        if (Instance == nullptr) return;
        lilv_instance_deactivate(Instance);
        lilv_instance_free(Instance);
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    bool Valid() const { return Instance != nullptr; }

    // Runs `frames` frames in blocks; keeps the best time per frame of all runs so far.
    void Run(std::uint64_t frames) {
        const double start = ThreadSeconds();
        for (std::uint64_t done = 0; done < frames; done += Block) {
            lilv_instance_run(Instance, Block);
        }
        const double nanoseconds = (ThreadSeconds() - start) * 1e9 / static_cast<double>(frames);
        if (Best == 0.0 || nanoseconds < Best) Best = nanoseconds;
    }

    double Best = 0.0;  // nanoseconds per frame
    std::uint32_t Inputs = 0;
    std::uint32_t Outputs = 0;

private:
    std::uint32_t Block;
    LilvInstance* Instance = nullptr;
    std::vector<float> Controls;
    std::vector<std::vector<float>> Buffers;
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
        std::fprintf(stderr, "usage: lv2_flanger_benchmark [--frames N] [--rounds N] URI...\n");
        return 2;
    }

    LilvWorld* world = lilv_world_new();
    lilv_world_load_all(world);
    const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
    // Every plug-in at both block sizes, taking turns in every round, so that a busy moment of
    // the machine does not fall on one of them alone.
    std::vector<std::unique_ptr<Bench>> benches;
    int status = 0;
    for (const std::string& uri : uris) {
        LilvNode* node = lilv_new_uri(world, uri.c_str());
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(plugins, node);
        lilv_node_free(node);
        for (std::uint32_t block : kBlockSizes) {
            benches.push_back(plugin == nullptr ? nullptr
                                                : std::make_unique<Bench>(world, plugin, block));
        }
    }
    for (int round = 0; round < rounds; ++round) {
        for (auto& bench : benches) {
            if (bench != nullptr && bench->Valid()) bench->Run(frames);
        }
    }
    // Per stereo frame: a plug-in with one input runs once per channel of a stereo track.
    const auto stereoFactor = [](const Bench* bench) { return bench->Inputs >= 2 ? 1.0 : 2.0; };
    std::printf("%-62s %7s %14s %14s %8s\n", "plug-in (ns per stereo frame)", "in/out",
                "64-frame blocks", "512-frame blocks", "64/512");
    // The first URI against the fastest of the others (those that do not share its prefix up
    // to the last ':'), at each block size.
    const std::string ours = uris[0].substr(0, uris[0].rfind(':') + 1);
    double fastest[2] = {0.0, 0.0};
    std::string fastestName[2];
    for (std::size_t i = 0; i < uris.size(); ++i) {
        const Bench* small = benches[2 * i].get();
        const Bench* large = benches[2 * i + 1].get();
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
        for (int b = 0; b < 2; ++b) {
            if (fastest[b] == 0.0 || perStereo[b] < fastest[b]) {
                fastest[b] = perStereo[b];
                fastestName[b] = uris[i];
            }
        }
    }
    const Bench* first[2] = {benches[0].get(), benches[1].get()};
    if (first[0] != nullptr && first[0]->Valid() && first[1]->Valid() && fastest[0] > 0.0) {
        std::printf("%s against the fastest other: %.2fx at 64 frames (%s), %.2fx at 512 (%s)\n",
                    uris[0].c_str(), first[0]->Best * stereoFactor(first[0]) / fastest[0],
                    fastestName[0].c_str(), first[1]->Best * stereoFactor(first[1]) / fastest[1],
                    fastestName[1].c_str());
    }
    benches.clear();
    lilv_world_free(world);
    return status;
}
