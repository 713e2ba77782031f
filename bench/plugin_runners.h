// What the plug-in benchmark runs, whatever the format: one instance at 44.1 kHz with its
// default controls and a buffer of white noise on every audio input, timed block by block.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PluginRunner {
public:
    explicit PluginRunner(std::uint32_t block) : Block(block) {}
    virtual ~PluginRunner() = default;
    PluginRunner(const PluginRunner&) = delete;
    PluginRunner& operator=(const PluginRunner&) = delete;

    virtual bool Valid() const = 0;

    // Runs `frames` frames in blocks; keeps the best time per frame of all runs so far.
    void Run(std::uint64_t frames);

    double Best = 0.0;  // nanoseconds per frame
    std::uint32_t Inputs = 0;
    std::uint32_t Outputs = 0;

protected:
    virtual void RunBlock() = 0;
    // A new buffer of Block frames: white noise for an input, silence for an output.
    float* AddBuffer(bool input);

    std::uint32_t Block;
    std::vector<std::vector<float>> Buffers;
};

// Whether `plugin` names a CLAP (clap=LIBRARY#ID) or VST3 (vst3=MODULE) plug-in.
bool IsOtherFormat(const std::string& plugin);
// Null where the library cannot be loaded or the plug-in cannot be made.
std::unique_ptr<PluginRunner> CreateOtherFormatRunner(const std::string& plugin,
                                                      std::uint32_t block);
// "1.03x": how much `runner` costs per frame over `reference`.
std::string Ratio(const PluginRunner& runner, const PluginRunner& reference);
