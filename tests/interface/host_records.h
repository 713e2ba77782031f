// The records that cross the module boundary, laid out the way a host lays them out.
//
// They are written from the binding offset table, not taken from the module's header: the
// module tests call the exports with these records only, so a header whose layout drifted from
// the binding one shows up as a mismatch in plugin_module_test.cpp (at compile time) and as
// wrong values in every call. This header deliberately does not include flanger_plugin.h, so
// that a test program may define host functions named like the exports.
//
// On 32-bit targets the layout is the binding one (pointers 4 bytes); on 64-bit targets the same
// fields follow in the same order with natural alignment, pointers and the call-back context
// 8 bytes.
#pragma once

#include <cstdint>
#include <ostream>

namespace host {

// The first eight bytes of the platform's WAVEFORMATEX.
struct StreamFormat {
    std::uint16_t FormatTag;   // offset 0, not read by the module
    std::uint16_t Channels;    // offset 2
    std::uint32_t SampleRate;  // offset 4, frames per second
};

struct StreamBuffer {
    std::uint32_t Unused0;         // offset 0
    float** ChannelsBegin;         // 32-bit offset 4
    float** ChannelsEnd;           // 8
    float** ChannelsCapacityEnd;   // 12
    std::uint32_t FrameCount;      // 16
    std::uint32_t CallBackResult;  // 20
    std::uint32_t Unused24;        // 24
};

using StreamCallBack = std::uint32_t (*)(std::uintptr_t context, StreamBuffer* buffer);

struct EffectSettings {
    std::int32_t Depth;              // offset 0
    std::int32_t Delay;              // 4
    std::int32_t Width;              // 8
    std::int32_t Sine;               // 12
    std::int32_t Feedback;           // 16
    std::int32_t Speed;              // 20
    void* Engine;                    // 24
    StreamCallBack CallBack;         // 28
    std::uintptr_t CallBackContext;  // 32
};

struct PlugInInformation {
    std::uint32_t Size;      // offset 0
    std::uint32_t Unused4;   // 4
    const char* Name;        // 8
    const char* Vendor;      // 12
    std::uint32_t Unused16;  // 16 on 32-bit
    std::uint32_t Unused20;  // 20 on 32-bit
};

// The six parameters of a record, in record order.
struct Parameters {
    std::int32_t Depth;
    std::int32_t Delay;
    std::int32_t Width;
    std::int32_t Sine;
    std::int32_t Feedback;
    std::int32_t Speed;

    friend bool operator==(const Parameters&, const Parameters&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Parameters& p) {
        return out << "{Depth " << p.Depth << ", Delay " << p.Delay << ", Width " << p.Width
                   << ", Sine " << p.Sine << ", Feedback " << p.Feedback << ", Speed " << p.Speed
                   << "}";
    }
};

inline constexpr Parameters kDefaultParameters = {90, 50, 50, 0, 10, 10};

inline Parameters ParametersOf(const EffectSettings& record) {
    return {record.Depth, record.Delay, record.Width, record.Sine, record.Feedback, record.Speed};
}

inline void SetParameters(EffectSettings& record, const Parameters& p) {
    record.Depth = p.Depth;
    record.Delay = p.Delay;
    record.Width = p.Width;
    record.Sine = p.Sine;
    record.Feedback = p.Feedback;
    record.Speed = p.Speed;
}

}  // namespace host
