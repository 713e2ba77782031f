// Spelling rules of profile values; see profile_values.h.
#include "platform/posix/profile_values.h"

namespace flanger::platform::posix {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return TrimTrailingBlanks(text);
}

std::string_view UnquoteValue(std::string_view stored) {
    if (stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
        stored.back() == stored.front()) {
        return stored.substr(1, stored.size() - 2);
    }
    return stored;
}

std::optional<std::uint32_t> ParseProfileInt(std::string_view value) {
    value = TrimBlanks(value);
    if (value.empty()) return std::nullopt;
    bool negative = false;
    if (value.front() == '+' || value.front() == '-') {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    // Unsigned arithmetic wraps by definition, which is the modulo 2^32 the readers expect of
    // an out-of-range number ("4294967297" is 1).
    std::uint32_t magnitude = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') break;
        magnitude = magnitude * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return negative ? 0u - magnitude : magnitude;
}

std::string EncodeStruct(const std::uint8_t* bytes, std::size_t size) {
    std::string text;
    text.reserve(2 * size + 2);
    unsigned checksum = 0;
    const auto append = [&text](unsigned byte) {
        text.push_back(kHexDigits[byte >> 4]);
        text.push_back(kHexDigits[byte & 0x0F]);
    };
    for (std::size_t i = 0; i < size; ++i) {
        append(bytes[i]);
        checksum = (checksum + bytes[i]) & 0xFF;
    }
    append(checksum);
    return text;
}

std::optional<std::vector<std::uint8_t>> DecodeStruct(std::string_view text, std::size_t size) {
    // Compared without computing 2 * size + 2, which could overflow for a hostile size.
    if (text.empty() || text.size() % 2 != 0 || text.size() / 2 - 1 != size) return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    unsigned checksum = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        const int high = HexValue(text[2 * i]);
        const int low = HexValue(text[2 * i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        const auto byte = static_cast<std::uint8_t>(high * 16 + low);
        if (i == size) return byte == checksum ? std::optional(std::move(bytes)) : std::nullopt;
        bytes[i] = byte;
        checksum = (checksum + byte) & 0xFF;
    }
    return std::nullopt;
}

}  // namespace flanger::platform::posix
