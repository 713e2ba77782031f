// AudioProcessor: format bookkeeping and the chaining of processors.
#include "engine/audio_processor.h"

#include <limits>

namespace flanger {

void AudioProcessor::Open(const StreamFormat& format) {
    SampleRate = format.SampleRate;
    Channels = format.Channels;
}

bool AudioProcessor::Process(StreamBuffer buffer) {
    if (NextProcessor != nullptr) NextProcessor->Process(buffer);
    return ProcessBlock(buffer) != 0;
}

void AudioProcessor::SetNext(AudioProcessor* next) { NextProcessor = next; }

std::int32_t AudioProcessor::ProcessBlock(StreamBuffer) { return 1; }

std::uint32_t BufferChannelCount(const StreamBuffer& buffer) {
    if (buffer.ChannelsBegin == nullptr || buffer.ChannelsEnd <= buffer.ChannelsBegin) return 0;
    const auto count = static_cast<std::uint64_t>(buffer.ChannelsEnd - buffer.ChannelsBegin);
    // A host never carries more than a format's 16-bit channel count; anything beyond 32 bits
    // is garbage and is cut to what the engine can index.
    if (count > std::numeric_limits<std::uint32_t>::max()) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return static_cast<std::uint32_t>(count);
}

}  // namespace flanger
