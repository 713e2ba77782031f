// The type tags of a parameter list and the variables they designate.
//
// A type string names one tag per value ("INT INT ..."); each tag tells the storages what kind
// of variable the matching value pointer designates and how the value is stored.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace flanger {

enum class ParameterTag {
    Uint,    // "UINT": unsigned 32-bit integer
    Dword,   // "DWORD": unsigned 32-bit integer, stored like "UINT"
    Int,     // "INT": signed 32-bit integer
    Float,   // "FLOAT": IEEE single precision
    Double,  // "DOUBLE": IEEE double precision
    String,  // "STRING": a std::string of narrow text
    Lss,     // "LSS": an LssBlock
};

// The variable of an "LSS" value: a block of bytes. On load the storage allocates Data with
// operator new[] (even for Size 0) and the caller owns it; a previous Data is overwritten
// without being released.
struct LssBlock {
    std::uint32_t Size = 0;
    std::uint8_t* Data = nullptr;
};

// The largest "LSS" block a load makes on the word of its stored size alone. A stored size
// whose data is missing or too short keeps its size up to this many bytes, the bytes no data
// filled cleared, as a damaged preset should load; a larger one counts only as far as the
// stored data reaches, so that a damaged or hostile number ("-1" reads as 4 GiB) cannot make a
// load allocate gigabytes.
inline constexpr std::uint32_t kLargestUnfilledBlock = 1u << 20;

// The tag a token names, compared without regard to ASCII letter case; nothing for any other
// token, the empty one included.
std::optional<ParameterTag> MatchTag(std::string_view token);

// True for the three tags whose variable is a 32-bit integer.
constexpr bool IsIntegerTag(ParameterTag tag) {
    return tag == ParameterTag::Uint || tag == ParameterTag::Dword || tag == ParameterTag::Int;
}

}  // namespace flanger
