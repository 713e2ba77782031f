// The level control, the output's gain after the engine, and the glide that moves a gain to a
// new value without a click (the level's, and the plug-ins' bypass).
//
// The gain of L tenths of a decibel is 10^(L / 200), read from a table the compiler fills with
// IEEE additions and multiplications alone: one C library's pow may differ from another's in the
// last bit, and every target must multiply by the same doubles. Each sample becomes
// float(double(x) * gain); at 0 dB nothing is multiplied, so the output is the engine's, bit for
// bit.
#pragma once

#include <cstdint>

namespace flanger {

inline constexpr std::int32_t kLowestLevel = -240;  // tenths of a decibel
inline constexpr std::int32_t kHighestLevel = 120;

// 10^(tenths / 200), for tenths clamped into kLowestLevel to kHighestLevel; exactly 1.0 at 0.
double LevelGain(std::int32_t tenthsOfDecibel);

// A gain that moves to a new value along a smoothstep over a fixed number of frames (the curve
// of the live engine's crossfades: no step, and no corner at either end).
class GainGlide {
public:
    // Frames a glide takes, at least 1; a glide in progress keeps its own length.
    void SetGlideFrames(std::uint32_t frames) { GlideFrames = frames < 1 ? 1 : frames; }
    // Sets the gain at once.
    void Jump(double gain);
    // Starts a glide from the current gain (where a glide in progress has got to) to `gain`;
    // nothing when `gain` is already the target.
    void MoveTo(double gain);
    bool Gliding() const { return Done < Length; }
    double Target() const { return To; }
    // Writes the gains of the next `frames` frames into `gains` and moves on by as many.
    void Next(std::uint32_t frames, double* gains);

private:
    double Current() const;

    std::uint32_t GlideFrames = 1;
    double From = 1.0;
    double To = 1.0;
    std::uint32_t Length = 0;  // of the glide in progress
    std::uint32_t Done = 0;
};

// The output's gain: multiplies each block by the level, gliding when the level changes.
class OutputLevel {
public:
    void SetGlideFrames(std::uint32_t frames) { Glide.SetGlideFrames(frames); }
    // The level from now on, without a glide.
    void Reset(std::int32_t tenthsOfDecibel) {
        Tenths = tenthsOfDecibel;
        Glide.Jump(LevelGain(tenthsOfDecibel));
    }
    // Multiplies `frames` frames from `offset` on of the first `count` channels (a null one is
    // skipped) by the gain of `tenthsOfDecibel`, gliding there from the last level.
    void Apply(float* const* channels, std::uint32_t count, std::uint32_t offset,
               std::uint32_t frames, std::int32_t tenthsOfDecibel) {
        // Most blocks: the same level, at 0 dB and not gliding, which multiplies nothing.
        if (MultipliesNothing(tenthsOfDecibel)) return;
        ApplyGain(channels, count, offset, frames, tenthsOfDecibel);
    }
    // Whether Apply with this level would leave every sample as it is.
    bool MultipliesNothing(std::int32_t tenthsOfDecibel) const {
        return tenthsOfDecibel == Tenths && !Glide.Gliding() && Glide.Target() == 1.0;
    }

private:
    void ApplyGain(float* const* channels, std::uint32_t count, std::uint32_t offset,
                   std::uint32_t frames, std::int32_t tenthsOfDecibel);

    // The level the glide was last aimed at.
    std::int32_t Tenths = 0;
    GainGlide Glide;
};

}  // namespace flanger
