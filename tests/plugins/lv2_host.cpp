// The lilv host of the plug-in tests, and the allocation counter around connect_port and run.
#include "lv2_host.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

bool gCounting = false;
long gAllocations = 0;

}  // namespace

#if !defined(__SANITIZE_ADDRESS__)
// The program's own allocator functions come before the C library's for every library it loads,
// the plug-in and libstdc++'s operator new included; they count and pass on.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size) noexcept {
    gAllocations += gCounting;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    gAllocations += gCounting;
    return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) noexcept {
    gAllocations += gCounting;
    return __libc_realloc(block, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    gAllocations += gCounting;
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, std::size_t alignment, std::size_t size) noexcept {
    gAllocations += gCounting;
    *block = __libc_memalign(alignment, size);
    return *block != nullptr ? 0 : ENOMEM;
}
void free(void* block) noexcept { __libc_free(block); }
}
#endif

namespace flanger::testing {

Lv2World::Lv2World() {
    ::setenv("LV2_PATH", FLANGER_LV2_DIR ":/usr/lib/lv2", 1);
    Handle = lilv_world_new();
    lilv_world_load_all(Handle);
}

Lv2World::~Lv2World() {
    for (LilvNode* node : Nodes) lilv_node_free(node);
    lilv_world_free(Handle);
}

const LilvNode* Lv2World::Uri(const std::string& uri) {
    Nodes.push_back(lilv_new_uri(Handle, uri.c_str()));
    return Nodes.back();
}

const LilvPlugin* Lv2World::Plugin(const char* uri) const {
    LilvNode* node = lilv_new_uri(Handle, uri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(Handle), node);
    lilv_node_free(node);
    return plugin;
}

std::vector<float> ControlsFor(const LiveSettings& settings) {
    std::vector<float> values;
    for (const plugins::ControlPort& port : plugins::kControls) {
        if (port.Field == nullptr) {
            values.push_back(settings.Feedback >= 0 ? 1.0f : 0.0f);
        } else if (port.Unit == plugins::ControlUnit::Switch) {
            values.push_back(settings.*port.Field != 0 ? 1.0f : 0.0f);
        } else {
            const std::int32_t value = settings.*port.Field;
            values.push_back(static_cast<float>(value < 0 ? -value : value) /
                             static_cast<float>(port.Scale));
        }
    }
    return values;
}

Lv2Instance::Lv2Instance(const Lv2World& world, const plugins::PluginIdentity& plugin,
                         double sampleRate, BufferLayout layout)
    : Instance(lilv_plugin_instantiate(world.Plugin(plugin.Lv2Uri), sampleRate, nullptr)),
      ChannelCount(plugin.Channels),
      Layout(layout),
      Controls(ControlsFor({})),
      Buffers((layout == BufferLayout::Separate ? 2 : 1) * plugin.Channels,
              std::vector<float>(kMaxBlock)) {
    if (Instance == nullptr) return;
    for (std::uint32_t i = 0; i < plugins::kControlCount; ++i) {
        lilv_instance_connect_port(Instance, i, &Controls[i]);
    }
    ConnectAudio();
    lilv_instance_activate(Instance);
}

Lv2Instance::~Lv2Instance() {
    if (Instance == nullptr) return;
    lilv_instance_deactivate(Instance);
    lilv_instance_free(Instance);
}

void Lv2Instance::Reactivate() {
    lilv_instance_deactivate(Instance);
    lilv_instance_activate(Instance);
}

std::uint32_t Lv2Instance::OutputBuffer(std::uint32_t channel) const {
    switch (Layout) {
        case BufferLayout::Separate:
            return ChannelCount + channel;
        case BufferLayout::InPlace:
            return channel;
        case BufferLayout::Crossed:
            break;
    }
    return (channel + 1) % ChannelCount;
}

void Lv2Instance::ConnectAudio() {
    for (std::uint32_t j = 0; j < ChannelCount; ++j) {
        lilv_instance_connect_port(Instance, plugins::kControlCount + j, Buffers[j].data());
        lilv_instance_connect_port(Instance, plugins::kControlCount + ChannelCount + j,
                                   Buffers[OutputBuffer(j)].data());
    }
}

Channels Lv2Instance::Process(const Channels& input, const std::vector<std::uint32_t>& blockSizes,
                              const std::function<void(std::size_t offset)>& beforeBlock) {
    const std::size_t total = input[0].size();
    Channels output(ChannelCount, std::vector<float>(total));
    std::size_t offset = 0;
    for (std::size_t k = 0; offset < total || k == 0; ++k) {
        const auto frames = static_cast<std::uint32_t>(
            std::min<std::size_t>({blockSizes[k % blockSizes.size()], total - offset, kMaxBlock}));
        if (beforeBlock) beforeBlock(offset);
        for (std::uint32_t j = 0; j < ChannelCount; ++j) {
            std::copy_n(input[j].begin() + offset, frames, Buffers[j].begin());
        }
        gCounting = true;
        ConnectAudio();
        lilv_instance_run(Instance, frames);
        gCounting = false;
        for (std::uint32_t j = 0; j < ChannelCount; ++j) {
            std::copy_n(Buffers[OutputBuffer(j)].begin(), frames, output[j].begin() + offset);
        }
        offset += frames;
    }
    return output;
}

long Lv2Instance::AllocationsInRun() {
#if defined(__SANITIZE_ADDRESS__)
    constexpr bool kCounted = false;  // AddressSanitizer's allocator comes first
#else
    constexpr bool kCounted = true;
#endif
    return kCounted ? gAllocations : -1;
}

}  // namespace flanger::testing
