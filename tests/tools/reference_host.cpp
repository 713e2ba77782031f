// The reference host: Initialize, the six fields, SetStreamCallBack, OpenStream, ProcessStream
// per block until the call-back delivers nothing, CloseStream, Free.
#include "reference_host.h"

#include <dlfcn.h>

#include <algorithm>
#include <stdexcept>

#include "command_runner.h"
#include "flanger_plugin.h"

namespace flanger::tool::test {
namespace {

template <typename Function>
Function Lookup(void* module, const char* name) {
    void* const symbol = dlsym(module, name);
    if (symbol == nullptr) throw std::runtime_error(std::string("no export ") + name);
    return reinterpret_cast<Function>(symbol);
}

struct Feed {
    const std::vector<float>* samples = nullptr;
    std::size_t channels = 0;
    std::size_t nextFrame = 0;
    std::vector<std::vector<float>> arrays;
    std::vector<float*> pointers;
};

std::uint32_t Deliver(std::uintptr_t context, StreamBuffer* buffer) {
    Feed& feed = *reinterpret_cast<Feed*>(context);
    const std::size_t total = feed.samples->size() / feed.channels;
    const std::size_t frames = std::min<std::size_t>(kReferenceBlockFrames, total - feed.nextFrame);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t channel = 0; channel < feed.channels; ++channel) {
            feed.arrays[channel][frame] =
                (*feed.samples)[(feed.nextFrame + frame) * feed.channels + channel];
        }
    }
    buffer->ChannelsBegin = feed.pointers.data();
    buffer->ChannelsEnd = feed.pointers.data() + feed.pointers.size();
    buffer->ChannelsCapacityEnd = buffer->ChannelsEnd;
    buffer->FrameCount = static_cast<std::uint32_t>(frames);
    return static_cast<std::uint32_t>(frames);
}

}  // namespace

std::vector<float> ProcessWithModule(const RecordValues& values, int channels, int sampleRate,
                                     const std::vector<float>& samples) {
    void* const module = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) throw std::runtime_error("cannot load " + ModulePath());
    const auto initialize = Lookup<decltype(&Initialize)>(module, "Initialize");
    const auto setCallBack = Lookup<decltype(&SetStreamCallBack)>(module, "SetStreamCallBack");
    const auto openStream = Lookup<decltype(&OpenStream)>(module, "OpenStream");
    const auto processStream = Lookup<decltype(&ProcessStream)>(module, "ProcessStream");
    const auto closeStream = Lookup<decltype(&CloseStream)>(module, "CloseStream");
    const auto free = Lookup<decltype(&Free)>(module, "Free");

    Feed feed;
    feed.samples = &samples;
    feed.channels = static_cast<std::size_t>(channels);
    feed.arrays.assign(feed.channels, std::vector<float>(kReferenceBlockFrames));
    for (auto& array : feed.arrays) feed.pointers.push_back(array.data());

    EffectSettings* settings = nullptr;
    if (initialize(nullptr, nullptr, nullptr, &settings) != 1) {
        throw std::runtime_error("Initialize failed");
    }
    settings->Depth = values.depth;
    settings->Delay = values.delay;
    settings->Width = values.width;
    settings->Sine = values.sine;
    settings->Feedback = values.feedback;
    settings->Speed = values.speed;
    setCallBack(&Deliver, reinterpret_cast<std::uintptr_t>(&feed), settings);
    const StreamFormat format{3, static_cast<std::uint16_t>(channels),
                              static_cast<std::uint32_t>(sampleRate)};
    openStream(settings, &format);

    std::vector<float> result;
    result.reserve(samples.size());
    while (true) {
        StreamBuffer buffer{};
        const std::uint32_t frames = processStream(&buffer, settings);
        if (frames == 0) break;
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            for (std::size_t channel = 0; channel < feed.channels; ++channel) {
                result.push_back(feed.arrays[channel][frame]);
            }
        }
        feed.nextFrame += frames;
    }
    closeStream(settings);
    free(settings);
    dlclose(module);
    return result;
}

}  // namespace flanger::tool::test
