// Comparing window class names as the system does: without regard to ASCII letter case, other
// bytes as they are (class names are 8-bit text in the system code page).
#pragma once

#include <cstddef>

namespace flanger::framework {

// True when the first `count` bytes of `a` and `b` match, or both texts end (NUL) before a
// difference; like _mbsnbicmp / strncasecmp reporting 0.
inline bool BytesEqualIgnoringCase(const char* a, const char* b, std::size_t count) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
        if (x == '\0') return true;
    }
    return true;
}

}  // namespace flanger::framework
