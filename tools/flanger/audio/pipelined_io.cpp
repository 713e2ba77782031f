// The read-ahead and write-behind threads and the ring of blocks they share with the stream.
#include "audio/pipelined_io.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace flanger::tool {

PlanarBlock::PlanarBlock(std::uint32_t channels, std::uint32_t frames)
    : Samples(std::size_t{channels} * frames) {
    for (std::uint32_t j = 0; j < channels; ++j) {
        Pointers.push_back(Samples.data() + std::size_t{j} * frames);
        ConstPointers.push_back(Pointers.back());
    }
}

BlockRing::BlockRing(std::uint32_t channels, std::uint32_t blockFrames)
    : BlockFrames(blockFrames), Frames(kBlocksInFlight, 0) {
    Blocks.reserve(kBlocksInFlight);
    for (std::size_t k = 0; k < kBlocksInFlight; ++k) Blocks.emplace_back(channels, blockFrames);
}

BlockRing::~BlockRing() { Stop(); }

bool BlockRing::Start(std::function<void()> body) {
    try {
        Thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void BlockRing::Stop() {
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Stopping = true;
    }
    Changed.notify_all();
    if (Thread.joinable()) Thread.join();
}

void BlockRing::Push(std::size_t slot, std::uint32_t frames) {
    Frames[slot] = frames;
    ++Queued;
}

void BlockRing::Pop() {
    Oldest = (Oldest + 1) % kBlocksInFlight;
    --Queued;
}

ReadAheadSource::ReadAheadSource(AudioSource& inner, std::uint32_t channels,
                                 std::uint32_t blockFrames)
    : BlockRing(channels, blockFrames), Inner(inner) {
    // Without a thread, Read goes to the inner source directly.
    Start([this] { ReadBlocks(); });
}

void ReadAheadSource::ReadBlocks() {
    for (;;) {
        std::size_t slot;
        {
            std::unique_lock<std::mutex> guard(Lock);
            Changed.wait(guard, [this] { return Stopping || Queued < kBlocksInFlight; });
            if (Stopping) return;
            slot = FreeSlot();
        }
        const std::uint32_t frames = Inner.Read(Blocks[slot].Channels(), BlockFrames);
        {
            const std::lock_guard<std::mutex> guard(Lock);
            Push(slot, frames);
            Finished = frames == 0;
        }
        Changed.notify_all();
        if (frames == 0) return;
    }
}

std::uint32_t ReadAheadSource::Read(std::span<float* const> channels,
                                    std::uint32_t frames) noexcept {
    if (!Threaded()) return Inner.Read(channels, frames);
    std::size_t slot;
    {
        std::unique_lock<std::mutex> guard(Lock);
        Changed.wait(guard, [this] { return Queued > 0 || Finished; });
        if (Queued == 0) return 0;
        slot = OldestSlot();
    }
    // Every Read asks for the block size the thread reads, so a delivered block always fits.
    const std::uint32_t delivered = std::min(Frames[slot], frames);
    const std::span<float* const> source = Blocks[slot].Channels();
    for (std::size_t j = 0; delivered > 0 && j < channels.size() && j < source.size(); ++j) {
        std::memcpy(channels[j], source[j], std::size_t{delivered} * sizeof(float));
    }
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Pop();
    }
    Changed.notify_all();
    return delivered;
}

std::string ReadAheadSource::Failure() const {
    const std::lock_guard<std::mutex> guard(Lock);
    return Inner.Failure();
}

WriteBehindSink::WriteBehindSink(AudioSink& inner, std::uint32_t channels,
                                 std::uint32_t blockFrames)
    : BlockRing(channels, blockFrames), Inner(inner) {
    // Without a thread, Write goes to the inner sink directly.
    Start([this] { WriteBlocks(); });
}

void WriteBehindSink::WriteBlocks() {
    for (;;) {
        std::size_t slot;
        bool failedBefore;
        {
            std::unique_lock<std::mutex> guard(Lock);
            Changed.wait(guard, [this] { return Stopping || Queued > 0; });
            if (Stopping) return;
            slot = OldestSlot();
            failedBefore = !Error.empty();
        }
        // After a failure the remaining blocks are dropped: the output is abandoned anyway.
        std::string error;
        const bool written =
            failedBefore || Inner.Write(Blocks[slot].ConstChannels(), Frames[slot], error);
        {
            const std::lock_guard<std::mutex> guard(Lock);
            if (!written && Error.empty()) Error = error.empty() ? "cannot write" : error;
            Pop();
        }
        Changed.notify_all();
    }
}

bool WriteBehindSink::Write(std::span<const float* const> channels, std::uint32_t frames,
                            std::string& error) {
    if (!Threaded()) return Inner.Write(channels, frames, error);
    if (frames > BlockFrames) {
        error = "a block larger than the sink's buffer";
        return false;
    }
    std::size_t slot;
    {
        std::unique_lock<std::mutex> guard(Lock);
        Changed.wait(guard, [this] { return Queued < kBlocksInFlight || !Error.empty(); });
        if (!Error.empty()) {
            error = Error;
            return false;
        }
        slot = FreeSlot();
    }
    const std::span<float* const> target = Blocks[slot].Channels();
    // An empty block may come with null channel arrays.
    for (std::size_t j = 0; frames > 0 && j < channels.size() && j < target.size(); ++j) {
        std::memcpy(target[j], channels[j], std::size_t{frames} * sizeof(float));
    }
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Push(slot, frames);
    }
    Changed.notify_all();
    return true;
}

bool WriteBehindSink::Finish(std::string& error) {
    if (!Threaded()) return true;
    std::unique_lock<std::mutex> guard(Lock);
    Changed.wait(guard, [this] { return Queued == 0; });
    if (!Error.empty()) {
        error = Error;
        return false;
    }
    return true;
}

}  // namespace flanger::tool
