// AudioProcessor: the base of the per-stream signal processors.
//
// A processor is opened for a stream's format and then handed the stream's buffers one after
// the other. Processors can be chained (SetNext); the chained one sees each buffer first.
#pragma once

#include <cstdint>

#include "flanger_plugin.h"

namespace flanger {

class AudioProcessor {
public:
    AudioProcessor() = default;
    AudioProcessor(const AudioProcessor&) = delete;
    AudioProcessor& operator=(const AudioProcessor&) = delete;
    virtual ~AudioProcessor() = default;

    // Records the format's sample rate and channel count. May be called again; each call
    // starts the stream afresh.
    virtual void Open(const StreamFormat& format);

    // Passes the buffer to the chained processor, if any (its result is ignored), then to
    // ProcessBlock; true when ProcessBlock returned nonzero. The buffer record is taken by value:
    // processing changes the samples it points at and nothing of the caller's record.
    virtual bool Process(StreamBuffer buffer);

    // Chains a processor that sees every buffer first; not owned.
    virtual void SetNext(AudioProcessor* next);

    // Processes one buffer in place. The base leaves the samples alone and returns 1.
    virtual std::int32_t ProcessBlock(StreamBuffer buffer);

    std::uint32_t StreamSampleRate() const { return SampleRate; }
    std::uint32_t StreamChannels() const { return Channels; }

protected:
    AudioProcessor* NextProcessor = nullptr;
    std::uint32_t SampleRate = 0;  // frames per second, from Open
    std::uint32_t Channels = 0;    // from Open
};

// The number of channel pointers a buffer carries: 0 for a null or inverted array.
std::uint32_t BufferChannelCount(const StreamBuffer& buffer);

}  // namespace flanger
