// The host's side of a stream: source, buffer and the in-test engine.
#include "host_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "interface/effect_record.h"

namespace host {
namespace {

std::vector<const HostSource*>& LiveSources() {
    static std::vector<const HostSource*> sources;
    return sources;
}

int& StrayCallCount() {
    static int count = 0;
    return count;
}

std::uint64_t Mix(std::uint64_t x) {
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9E3779B97F4A7C15u;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9u;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBu;
    return x ^ (x >> 31);
}

std::string Describe(float value) {
    std::ostringstream out;
    out << std::setprecision(9) << value << " (0x" << std::hex << std::setw(8) << std::setfill('0')
        << std::bit_cast<std::uint32_t>(value) << ")";
    return out.str();
}

}  // namespace

float SignalSample(std::uint32_t channel, std::uint64_t frame) {
    if (frame % 997 == 0) return 1.0f;
    const std::uint64_t bits = Mix((std::uint64_t{channel} << 48) ^ frame);
    // 24 random bits scaled exactly into [-0.5, 0.5).
    return static_cast<float>(bits >> 40) * 0x1p-24f - 0.5f;
}

HostSource::HostSource(SourceSettings settings) : Settings(std::move(settings)) {
    LiveSources().push_back(this);
}

HostSource::~HostSource() { std::erase(LiveSources(), this); }

int HostSource::StrayCalls() { return StrayCallCount(); }

std::uint32_t HostSource::CallBack(std::uintptr_t context, StreamBuffer* buffer) {
    // The context is only trusted once it names a live source: a module that handed back
    // anything else would otherwise make this call-back crash instead of fail.
    const auto& live = LiveSources();
    const auto found = std::find_if(live.begin(), live.end(), [&](const HostSource* source) {
        return source->Context() == context;
    });
    if (found == live.end() || buffer == nullptr) {
        ++StrayCallCount();
        return 0;
    }
    auto* source = const_cast<HostSource*>(*found);
    ++source->CallCount;
    source->LastBufferSeen = buffer;
    buffer->CallBackResult = kResultSentinel;
    source->Deliver(*buffer);
    return source->Blocks.back().Result;
}

void HostSource::Deliver(StreamBuffer& buffer) {
    const auto index = static_cast<std::size_t>(CallCount - 1);
    if (Blocks.size() == 2) Blocks.pop_front();
    Block& block = Blocks.emplace_back();
    block.FrameCount = Settings.BlockSizes[index % Settings.BlockSizes.size()];
    block.Result = Settings.Results[index % Settings.Results.size()];
    block.NoChannels = Settings.NoChannelsEvery != 0 && CallCount % Settings.NoChannelsEvery == 0;
    if (!block.NoChannels) {
        block.Samples.assign(Settings.Channels, std::vector<float>(block.FrameCount));
        for (std::uint32_t j = 0; j < Settings.Channels; ++j) {
            for (std::uint32_t i = 0; i < block.FrameCount; ++i) {
                block.Samples[j][i] = SignalSample(j, NextFrame + i);
            }
            block.Pointers.push_back(block.Samples[j].data());
        }
        block.Input = block.Samples;
    }
    NextFrame += block.FrameCount;

    buffer.FrameCount = block.FrameCount;
    if (block.NoChannels) {
        buffer.ChannelsBegin = buffer.ChannelsEnd = buffer.ChannelsCapacityEnd = nullptr;
    } else {
        buffer.ChannelsBegin = block.Pointers.data();
        buffer.ChannelsEnd = buffer.ChannelsBegin + block.Pointers.size();
        buffer.ChannelsCapacityEnd = buffer.ChannelsEnd;
    }
}

HostBuffer::HostBuffer(std::uint32_t staleChannels)
    : Stale(staleChannels, std::vector<float>(kStaleFrames)) {
    for (auto& channel : Stale) StalePointers.push_back(channel.data());
    Reset();
}

StreamBuffer& HostBuffer::Reset() {
    for (std::size_t j = 0; j < Stale.size(); ++j) {
        for (std::uint32_t i = 0; i < kStaleFrames; ++i) {
            Stale[j][i] = SignalSample(static_cast<std::uint32_t>(j + 100), i);
        }
    }
    Buffer.Unused0 = 0xC0FFEE00u;
    Buffer.ChannelsBegin = StalePointers.data();
    Buffer.ChannelsEnd = StalePointers.data() + StalePointers.size();
    Buffer.ChannelsCapacityEnd = Buffer.ChannelsEnd;
    Buffer.FrameCount = kStaleFrames;
    Buffer.CallBackResult = 0xA5A5A5A5u;
    Buffer.Unused24 = 0xC0FFEE24u;
    return Buffer;
}

bool HostBuffer::StaleArraysIntact() const {
    for (std::size_t j = 0; j < Stale.size(); ++j) {
        for (std::uint32_t i = 0; i < kStaleFrames; ++i) {
            if (std::bit_cast<std::uint32_t>(Stale[j][i]) !=
                std::bit_cast<std::uint32_t>(
                    SignalSample(static_cast<std::uint32_t>(j + 100), i))) {
                return false;
            }
        }
    }
    return true;
}

std::unique_ptr<flanger::FlangerEngine> OpenReference(const Parameters& parameters,
                                                      std::uint32_t sampleRate,
                                                      std::uint16_t channels) {
    ::EffectSettings record;
    std::memset(&record, 0, sizeof record);
    record.Depth = parameters.Depth;
    record.Delay = parameters.Delay;
    record.Width = parameters.Width;
    record.Sine = parameters.Sine;
    record.Feedback = parameters.Feedback;
    record.Speed = parameters.Speed;
    auto engine = flanger::CreateEngineFor(record);
    const ::StreamFormat format = {1, channels, sampleRate};
    engine->Open(format);
    return engine;
}

Channels ProcessWithEngine(flanger::FlangerEngine& engine, const Block& block) {
    Channels output = block.Input;
    std::vector<float*> pointers;
    for (auto& channel : output) pointers.push_back(channel.data());
    ::StreamBuffer buffer{};
    buffer.FrameCount = block.FrameCount;
    if (!block.NoChannels) {
        buffer.ChannelsBegin = pointers.data();
        buffer.ChannelsEnd = pointers.data() + pointers.size();
        buffer.ChannelsCapacityEnd = buffer.ChannelsEnd;
    }
    engine.Process(buffer);
    return output;
}

::testing::AssertionResult SameSamples(const Channels& actual, const Channels& expected,
                                       std::size_t channels) {
    if (actual.size() < channels || expected.size() < channels) {
        return ::testing::AssertionFailure() << "channel counts " << actual.size() << " and "
                                             << expected.size() << ", need " << channels;
    }
    for (std::size_t j = 0; j < channels; ++j) {
        if (actual[j].size() != expected[j].size()) {
            return ::testing::AssertionFailure() << "channel " << j << ": " << actual[j].size()
                                                 << " frames against " << expected[j].size();
        }
        for (std::size_t i = 0; i < actual[j].size(); ++i) {
            if (std::bit_cast<std::uint32_t>(actual[j][i]) !=
                std::bit_cast<std::uint32_t>(expected[j][i])) {
                return ::testing::AssertionFailure()
                       << "channel " << j << " frame " << i << ": " << Describe(actual[j][i])
                       << " against " << Describe(expected[j][i]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameSamples(const Channels& actual, const Channels& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << actual.size() << " channels against " << expected.size();
    }
    return SameSamples(actual, expected, actual.size());
}

const Block& ProcessOneBlock(const PluginExports& plugin, EffectSettings* record,
                             HostSource& source, HostBuffer& buffer) {
    StreamBuffer& hostBuffer = buffer.Reset();
    const int callsBefore = source.Calls();
    const int straysBefore = HostSource::StrayCalls();

    const std::uint32_t result = plugin.ProcessStream(&hostBuffer, record);

    EXPECT_EQ(source.Calls(), callsBefore + 1);
    EXPECT_EQ(HostSource::StrayCalls(), straysBefore) << "call-back got a foreign context";
    EXPECT_EQ(source.LastBuffer(), &hostBuffer) << "call-back got another buffer than the host's";
    const Block& block = source.LastBlock();
    EXPECT_EQ(result, block.Result);
    EXPECT_EQ(hostBuffer.CallBackResult, block.Result);
    // Processing works on a copy of the record: what the call-back left in it stays.
    EXPECT_EQ(hostBuffer.FrameCount, block.FrameCount);
    EXPECT_EQ(hostBuffer.ChannelsBegin, block.NoChannels ? nullptr : block.Pointers.data());
    EXPECT_EQ(hostBuffer.Unused0, 0xC0FFEE00u);
    EXPECT_EQ(hostBuffer.Unused24, 0xC0FFEE24u);
    EXPECT_TRUE(buffer.StaleArraysIntact()) << "processed the arrays the call-back replaced";
    return block;
}

}  // namespace host
