// The engine's inner loops, in one version per instruction set, chosen at run time.
//
// The engine works through a buffer in chunks. For each chunk it first steps the sweep (a
// sequence no instruction set can shortcut without changing its rounding, except where it is
// linear) and leaves the read positions in a SweepChunk. A kernel then runs every channel over
// the chunk, a group of kGroupFrames frames at a time, with the taps of each group shared by all
// channels: channels never depend on each other, and a channel's frames depend on each other
// only through a delay shorter than a group.
//
// Every kernel performs the same IEEE double operations in the same order as the frame-by-frame
// definition, so all of them give the same bits. The vector kernels read the taps of a group
// before they write its frames into the line; a group with a delay shorter than that runs in
// parts that each read only what the parts before wrote (without feedback, it writes first),
// down to frame by frame.
#pragma once

#include <cstdint>

#include "engine/sine_oscillator.h"

namespace flanger {

enum class InstructionSet {
    Portable,  // plain C++, frame by frame
    Sse2,      // two doubles per operation; the x86-64 baseline
    Avx2,      // four doubles per operation
};

// The exponent bits of a float: all set in NaN and the infinities alone. The kernels take such
// input as silence.
inline constexpr std::uint32_t kNonFiniteExponent = 0x7F800000u;

// Frames per chunk: the size of the per-chunk scratch arrays.
inline constexpr std::uint32_t kChunkFrames = 512;
// The most frames a vector kernel reads before it writes them.
inline constexpr std::int32_t kGroupFrames = 8;

// A run of groups that take their taps from two runs of consecutive samples from one floor on
// (see the vector kernels), as a chunk left it for the next. Where, how long and how close to
// the writes the run reads follow from the floor, the write position and the ring length
// alone, so a chunk that starts at NextWrite of a ring of RingLength goes on with the run while
// the floor stays, without working them out again, and any other chunk starts a run of its own.
struct GroupRun {
    std::int32_t NextWrite = -1;  // ring position after the last group; -1: no run to go on
    std::int32_t RingLength = 0;
    std::int32_t Floor = 0;
    std::int32_t Near = 0;        // near tap of the last group
    std::int32_t GroupsLeft = 0;  // groups more the run reaches before the end of the ring
    std::int32_t Delay = 0;       // as the kernel's run keeps it
};

// The sweep and taps of up to kChunkFrames frames. Frame i of the chunk is written at ring
// position WriteIndex + i: a chunk never runs past the end of the ring.
struct SweepChunk {
    // Where Linear, frame i's position is LinearStart + i * LinearIncrement (exact: see
    // StepsInsideOneBinade) and Position is not written: the kernels form the positions as they
    // need them. Otherwise Position holds them.
    bool Linear = false;
    double LinearStart = 0.0;
    double LinearIncrement = 0.0;
    // Where Scaled, Position[i] for i >= 1 holds the sine oscillator's term, and frame i's
    // position is ScaledAmplitude * Position[i] + ScaledCentre, as NextValue and the sweep form
    // it; Position[0] is the first frame's position itself.
    bool Scaled = false;
    double ScaledAmplitude = 0.0;
    double ScaledCentre = 0.0;
    // Where FormsTerms (a Scaled chunk, for kernels that FormSineTerms), Position[i] for i >= 1
    // is not written yet: the kernel forms the sine oscillator's terms there from the state
    // below, as SineOscillator::NextTerms would, a group ahead of the group it runs, and leaves
    // the state they reach. The recursion is a chain of dependent operations; formed so, its
    // wait overlaps with the groups' arithmetic instead of coming before it. (Plain fields: the
    // AVX2 kernel must not call code that other files may share.)
    bool FormsTerms = false;
    double TermCoefficient = 0.0;
    double TermCurrent = 0.0;
    double TermPrevious = 0.0;
    // The vector kernels' run at the end of the last chunk.
    GroupRun Run;
    alignas(64) double Position[kChunkFrames];    // SweepPos of each frame
    alignas(64) double Fraction[kChunkFrames];    // f: weight of the far tap
    alignas(64) double Rest[kChunkFrames];        // 1 - f: weight of the near tap
    alignas(64) std::int32_t Near[kChunkFrames];  // p: ring position of the near tap
    alignas(64) std::int32_t Far[kChunkFrames];   // q: ring position of the far tap
};

// One channel's share of a chunk.
struct ChannelRun {
    float* Samples;           // the chunk's frames of the channel, processed in place
    float* Line;              // the channel's delay line
    const SweepChunk* Chunk;  // taps prepared for this chunk
    std::uint32_t Frames;     // frames in the chunk, at most kChunkFrames
    std::int32_t WriteIndex;  // ring position written by the chunk's first frame
    double DepthGain;
    double FeedbackGain;  // read only by the feedback kernels
};

// The channels of one chunk: `Samples[j] + Offset` is channel j's part of the chunk, processed
// in place against the line `Lines[j]`; a null channel is skipped.
struct ChunkChannels {
    float* const* Samples;
    float* const* Lines;
    std::uint32_t Count;
    std::uint32_t Offset;
};

// Every channel's share of a chunk, which shares the sweep's taps.
struct ChunkRun {
    SweepChunk* Chunk;        // the chunk's positions; its taps are scratch for the kernel
    std::uint32_t Frames;     // at most kChunkFrames
    std::int32_t WriteIndex;  // ring position written by the chunk's first frame
    std::int32_t RingLength;
    bool FeedbackOn;
    double DepthGain;
    double FeedbackGain;
    ChunkChannels Channels;
};

struct EngineKernels {
    InstructionSet Set;
    // Every channel over a chunk, a group of kGroupFrames frames at a time: a group whose taps
    // share one floor and do not wrap around the ring reads them from two runs of consecutive
    // samples, a vector kernel's other groups gather them, and a group with a delay shorter than
    // itself runs in parts short enough. A NaN or infinite input sample is taken as 0.
    void (*RunChunk)(const ChunkRun& run);
    // The sine oscillator's recursion (SineOscillator::NextTerms).
    SineOscillator::TermsFunction SineTerms;
    // Whether RunChunk forms a chunk's sine terms itself (SweepChunk::FormsTerms).
    bool FormsSineTerms = false;
};

// The kernels for an instruction set; null when this build or this processor lacks it.
const EngineKernels* KernelsFor(InstructionSet set);

// The fastest set this processor offers (checked once), at most the one that the environment's
// FLANGER_INSTRUCTION_SET names (portable, sse2 or avx2).
InstructionSet BestInstructionSet();

// Defined by each instruction set's own source file; null where the build has no such set.
const EngineKernels* PortableKernels();
const EngineKernels* Sse2Kernels();
const EngineKernels* Avx2Kernels();

}  // namespace flanger
