// A host's side of a stream, for the module tests: the audio source behind the call-back, the
// buffer handed to ProcessStream, and an engine built in the test from the same record values
// that the module's output is compared with bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "engine/flanger_engine.h"
#include "host_records.h"
#include "plugin_module.h"

namespace host {

using Channels = std::vector<std::vector<float>>;

// One buffer as the source delivered it. Every channel is a separate allocation of exactly the
// block's frame count, so the sanitizer build reports any access past FrameCount.
struct Block {
    bool NoChannels = false;  // delivered with a null channel array
    std::uint32_t FrameCount = 0;
    std::uint32_t Result = 0;  // what the call-back returned
    Channels Input;            // the samples as delivered, before processing
    Channels Samples;          // the arrays handed to the module, processed in place
    std::vector<float*> Pointers;
};

// The test signal: noise in [-0.5, 0.5) with a unit impulse every 997 frames, different in
// every channel and a pure function of (channel, frame).
float SignalSample(std::uint32_t channel, std::uint64_t frame);

struct SourceSettings {
    std::uint32_t Channels = 2;
    // Frame counts of successive blocks, repeated.
    std::vector<std::uint32_t> BlockSizes = {1, 17, 0, 256, 441, 3, 1024, 64, 2000, 2};
    // Call-back results of successive blocks, repeated.
    std::vector<std::uint32_t> Results = {1};
    // Every n-th block is delivered with a null channel array (0: never).
    std::uint32_t NoChannelsEvery = 0;
};

// The source behind the host's call-back. Its address is the call-back context, so the
// call-back finds it only if the module hands the context back unchanged.
class HostSource {
public:
    explicit HostSource(SourceSettings settings);
    ~HostSource();
    HostSource(const HostSource&) = delete;
    HostSource& operator=(const HostSource&) = delete;

    std::uintptr_t Context() const { return reinterpret_cast<std::uintptr_t>(this); }
    static std::uint32_t CallBack(std::uintptr_t context, StreamBuffer* buffer);

    // What the call-back wrote into CallBackResult before returning; the module must replace it.
    static constexpr std::uint32_t kResultSentinel = 0x5EC7E1A1u;

    int Calls() const { return CallCount; }
    const StreamBuffer* LastBuffer() const { return LastBufferSeen; }
    const Block& LastBlock() const { return Blocks.back(); }
    // Calls whose context named no live source.
    static int StrayCalls();

private:
    void Deliver(StreamBuffer& buffer);

    SourceSettings Settings;
    std::uint64_t NextFrame = 0;
    int CallCount = 0;
    const StreamBuffer* LastBufferSeen = nullptr;
    // The last few blocks stay alive: the host's buffer points into the newest.
    std::deque<Block> Blocks;
};

// The host's buffer record. Before every ProcessStream it points at stale arrays with a frame
// count no source uses, so processing anything but what the call-back left shows up.
class HostBuffer {
public:
    explicit HostBuffer(std::uint32_t staleChannels = 2);
    StreamBuffer& Reset();
    StreamBuffer& Record() { return Buffer; }
    // True while the stale arrays still hold what Reset wrote.
    bool StaleArraysIntact() const;

    static constexpr std::uint32_t kStaleFrames = 4099;

private:
    StreamBuffer Buffer{};
    Channels Stale;
    std::vector<float*> StalePointers;
};

// An engine built and opened in the test from the same values the module gets.
std::unique_ptr<flanger::FlangerEngine> OpenReference(const Parameters& parameters,
                                                      std::uint32_t sampleRate,
                                                      std::uint16_t channels);

// The engine's output for the block's input (the block itself is not changed).
Channels ProcessWithEngine(flanger::FlangerEngine& engine, const Block& block);

// Bit-for-bit equality of the first `channels` channels; names the first differing sample.
::testing::AssertionResult SameSamples(const Channels& actual, const Channels& expected,
                                       std::size_t channels);
::testing::AssertionResult SameSamples(const Channels& actual, const Channels& expected);

// Calls ProcessStream once and checks the call-back protocol: exactly one call, with the
// record's context and the host's own buffer, its result returned unchanged and stored in
// CallBackResult, the stale arrays left alone. Returns the block the source delivered.
const Block& ProcessOneBlock(const PluginExports& plugin, EffectSettings* record,
                             HostSource& source, HostBuffer& buffer);

}  // namespace host
