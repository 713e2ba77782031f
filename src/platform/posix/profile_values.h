// How profile values are spelled: the text a read returns, the integer it stands for, and the
// hex encoding that stores a block of bytes. Pure functions over text, kept apart from the file
// handling so that the rules can be read (and tested) on their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flanger::platform::posix {

// Spaces and tabs: what surrounds names and values without belonging to them.
bool IsBlank(char c);
std::string_view TrimBlanks(std::string_view text);
std::string_view TrimTrailingBlanks(std::string_view text);

// A stored value as a text read returns it: `stored` comes trimmed from the file; one matching
// pair of outer double or single quotes is removed ("abc" -> abc, but "abc stays as it is).
std::string_view UnquoteValue(std::string_view stored);

// The integer a text read of `value` stands for: leading blanks skipped, an optional sign,
// decimal digits up to the first other character, wrapping modulo 2^32 ("12abc" is 12, "abc"
// is 0). Nothing when the text is empty, so that the caller's default applies.
std::optional<std::uint32_t> ParseProfileInt(std::string_view value);

// Two upper-case hex digits per byte, then the checksum byte (the sum of the bytes modulo 256).
std::string EncodeStruct(const std::uint8_t* bytes, std::size_t size);

// The `size` bytes encoded in `text` (either letter case). Nothing when the text has another
// length than 2 * size + 2, holds a non-hex character, or its checksum does not match.
std::optional<std::vector<std::uint8_t>> DecodeStruct(std::string_view text, std::size_t size);

}  // namespace flanger::platform::posix
