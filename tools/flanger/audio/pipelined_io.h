// Reading ahead and writing behind on threads of their own, so that decoding the input, the
// module's processing and encoding the output overlap instead of taking turns.
//
// Both wrap a source or sink without changing what passes through: the same blocks, with the
// same frame counts, in the same order, reach the module and the output as without them. A
// few blocks are in flight at a time, so memory stays flat in the length of the audio.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_stream.h"

namespace flanger::tool {

// Blocks kept in flight by each wrapper.
inline constexpr std::size_t kBlocksInFlight = 4;

// Planar audio: `channels` arrays of `frames` floats in one allocation.
class PlanarBlock {
public:
    PlanarBlock(std::uint32_t channels, std::uint32_t frames);
    // The channel pointers point into the block's own samples: no copies.
    PlanarBlock(const PlanarBlock&) = delete;
    PlanarBlock& operator=(const PlanarBlock&) = delete;
    PlanarBlock(PlanarBlock&&) = default;

    std::span<float* const> Channels() const { return Pointers; }
    std::span<const float* const> ConstChannels() const { return ConstPointers; }

private:
    std::vector<float> Samples;
    std::vector<float*> Pointers;
    std::vector<const float*> ConstPointers;
};

// A ring of kBlocksInFlight blocks passed from a producer to a consumer, one of which is a
// thread of the ring's own. A slot belongs to one side at a time: the producer fills the slot
// after the queued ones, the consumer empties the oldest; only the counts change under the lock.
class BlockRing {
protected:
    BlockRing(std::uint32_t channels, std::uint32_t blockFrames);
    ~BlockRing();

    // Runs `body` on the ring's thread; false (and no thread) when none can be started.
    bool Start(std::function<void()> body);
    bool Threaded() const { return Thread.joinable(); }
    // Asks the thread to stop at its next wait and joins it.
    void Stop();

    // The slot the producer fills next and the one the consumer takes next; under the lock.
    std::size_t FreeSlot() const { return (Oldest + Queued) % kBlocksInFlight; }
    std::size_t OldestSlot() const { return Oldest; }
    // Under the lock: one more block queued, or the oldest one taken.
    void Push(std::size_t slot, std::uint32_t frames);
    void Pop();

    const std::uint32_t BlockFrames;
    std::vector<PlanarBlock> Blocks;
    std::vector<std::uint32_t> Frames;  // frames in each slot's block
    std::size_t Queued = 0;
    bool Stopping = false;
    mutable std::mutex Lock;
    std::condition_variable Changed;

private:
    std::size_t Oldest = 0;
    std::thread Thread;
};

class ReadAheadSource final : public AudioSource, private BlockRing {
public:
    // Starts reading `inner` on a thread, `blockFrames` frames per Read, which is what every
    // Read of this source must ask for. The thread stops after the end or a failure. Where no
    // thread can be started, Read passes straight through to `inner`.
    ReadAheadSource(AudioSource& inner, std::uint32_t channels, std::uint32_t blockFrames);
    ~ReadAheadSource() override { Stop(); }

    std::uint32_t Read(std::span<float* const> channels, std::uint32_t frames) noexcept override;
    std::string Failure() const override;

private:
    void ReadBlocks();

    AudioSource& Inner;
    bool Finished = false;  // the inner source delivered its last block
};

class WriteBehindSink final : public AudioSink, private BlockRing {
public:
    // Hands blocks to `inner` on a thread; every block has at most `blockFrames` frames. Where no
    // thread can be started, Write passes straight through to `inner`.
    WriteBehindSink(AudioSink& inner, std::uint32_t channels, std::uint32_t blockFrames);
    // Stops the thread; blocks not yet written are dropped (call Finish to keep them).
    ~WriteBehindSink() override { Stop(); }

    // Queues a copy of the block; false with the reason when an earlier block failed.
    bool Write(std::span<const float* const> channels, std::uint32_t frames,
               std::string& error) override;
    // Waits until every queued block is written; false with the first failure's reason.
    bool Finish(std::string& error);

private:
    void WriteBlocks();

    AudioSink& Inner;
    std::string Error;  // the first failure
};

}  // namespace flanger::tool
