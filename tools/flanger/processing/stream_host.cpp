// The host side of the module's stream protocol.
#include "processing/stream_host.h"

#include <algorithm>
#include <vector>

#include "engine/live_flanger.h"

namespace flanger::tool {
namespace {

// What the call-back needs between ProcessStream calls; its address is the call-back context.
struct CallBackState {
    AudioSource* Source = nullptr;
    std::vector<float*> Channels;
    std::uint32_t BlockFrames = 0;
    std::uint32_t Delivered = 0;
};

std::uint32_t FLANGER_CDECL FillBuffer(std::uintptr_t context, StreamBuffer* buffer) {
    auto& state = *reinterpret_cast<CallBackState*>(context);
    float** const begin = state.Channels.empty() ? nullptr : state.Channels.data();
    buffer->ChannelsBegin = begin;
    buffer->ChannelsEnd = begin == nullptr ? nullptr : begin + state.Channels.size();
    buffer->ChannelsCapacityEnd = buffer->ChannelsEnd;
    state.Delivered = state.Source->Read(state.Channels, state.BlockFrames);
    buffer->FrameCount = state.Delivered;
    return state.Delivered;
}

// Owns the record from Initialize until Free, closing an open stream on the way.
class EffectRecord {
public:
    EffectRecord(const PluginExports& module, EffectSettings* settings)
        : Module(module), Settings(settings) {}
    ~EffectRecord() {
        if (Settings == nullptr) return;
        Module.CloseStream(Settings);
        Module.Free(Settings);
    }
    EffectRecord(const EffectRecord&) = delete;
    EffectRecord& operator=(const EffectRecord&) = delete;

    EffectSettings* Get() const { return Settings; }

private:
    const PluginExports& Module;
    EffectSettings* Settings;
};

StreamResult Failed(std::string error) {
    return StreamResult{StreamOutcome::Failed, std::move(error)};
}

// The stream through the live engine: the same blocks from the source, processed in place.
StreamResult RunLiveStream(const EffectParameters& settings, StreamShape shape, AudioSource& source, AudioSink& sink,
                           const std::function<void(std::int64_t)>& progress,
                           const std::function<bool()>& stopRequested) {
    LiveFlanger live;
    if (!live.Activate(shape.SampleRate, shape.Channels)) {
        return Failed("the live engine cannot run " + std::to_string(shape.Channels) +
                      " channel(s) at " + std::to_string(shape.SampleRate) + " Hz");
    }
    const std::uint32_t blockFrames = BlockFramesFor(shape.Channels);
    std::vector<float> samples(std::size_t{shape.Channels} * blockFrames);
    std::vector<float*> channels;
    for (std::uint32_t channel = 0; channel < shape.Channels; ++channel) {
        channels.push_back(samples.data() + std::size_t{channel} * blockFrames);
    }
    const std::vector<const float*> written(channels.begin(), channels.end());
    std::int64_t framesDone = 0;
    while (true) {
        if (stopRequested && stopRequested()) return StreamResult{StreamOutcome::Interrupted, {}};
        const std::uint32_t frames = source.Read(channels, blockFrames);
        if (frames == 0) break;
        live.Process(channels.data(), shape.Channels, frames, settings);
        std::string error;
        if (!sink.Write(written, frames, error)) return Failed(error);
        framesDone += frames;
        if (progress) progress(framesDone);
    }
    if (stopRequested && stopRequested()) return StreamResult{StreamOutcome::Interrupted, {}};
    if (const std::string failure = source.Failure(); !failure.empty()) return Failed(failure);
    return StreamResult{};
}

}  // namespace

std::uint32_t BlockFramesFor(std::uint32_t channels) {
    if (channels == 0) return kBlockFrames;
    return std::clamp(kBlockSampleBudget / channels, 1u, kBlockFrames);
}

StreamResult RunStream(const PluginExports& module, const EffectParameters& parameters,
                       StreamShape shape, AudioSource& source, AudioSink& sink,
                       const std::function<void(std::int64_t)>& progress,
                       const std::function<bool()>& stopRequested) {
    if (NeedsLiveEngine(parameters)) {
        return RunLiveStream(parameters, shape, source, sink, progress, stopRequested);
    }
    EffectSettings* created = nullptr;
    if (module.Initialize(nullptr, nullptr, nullptr, &created) != 1 || created == nullptr) {
        return Failed("the module could not create an effect record");
    }
    const EffectRecord record(module, created);
    EffectSettings& settings = *record.Get();
    StoreInRecord(parameters, settings);

    CallBackState state;
    state.Source = &source;
    state.BlockFrames = BlockFramesFor(shape.Channels);
    std::vector<float> samples(std::size_t{shape.Channels} * state.BlockFrames);
    for (std::uint32_t channel = 0; channel < shape.Channels; ++channel) {
        state.Channels.push_back(samples.data() + std::size_t{channel} * state.BlockFrames);
    }
    const std::vector<const float*> written(state.Channels.begin(), state.Channels.end());

    if (module.SetStreamCallBack(&FillBuffer, reinterpret_cast<std::uintptr_t>(&state),
                                 &settings) != 1) {
        return Failed("the module refused the stream call-back");
    }
    // FormatTag is not read by the module; 3 is WAVE_FORMAT_IEEE_FLOAT, what the buffers hold.
    const StreamFormat format{3, shape.Channels, shape.SampleRate};
    if (module.OpenStream(&settings, &format) != 0) {
        return Failed("the module could not open the stream");
    }

    std::int64_t framesDone = 0;
    while (true) {
        if (stopRequested && stopRequested()) return StreamResult{StreamOutcome::Interrupted, {}};
        StreamBuffer buffer{};
        const std::uint32_t result = module.ProcessStream(&buffer, &settings);
        if (result != state.Delivered) {
            return Failed("the module returned " + std::to_string(result) + " for a block of " +
                          std::to_string(state.Delivered) + " frames");
        }
        if (result == 0) break;
        std::string error;
        if (!sink.Write(written, result, error)) return Failed(error);
        framesDone += result;
        if (progress) progress(framesDone);
    }
    // An interrupted read can look like a failing one; the interruption is what happened.
    if (stopRequested && stopRequested()) return StreamResult{StreamOutcome::Interrupted, {}};
    if (const std::string failure = source.Failure(); !failure.empty()) return Failed(failure);
    return StreamResult{};
}

}  // namespace flanger::tool
