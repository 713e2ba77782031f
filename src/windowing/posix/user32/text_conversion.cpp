// Bounded text copies into a caller's buffer.
#include "windowing/posix/user32/text_conversion.h"

#include <algorithm>
#include <cstring>

namespace flanger::platform::user32 {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

int CopyTextOut(std::string_view text, char* buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) {
        return 0;
    }
    std::size_t count = std::min(text.size(), static_cast<std::size_t>(bufferSize - 1));
    // Step back over a sequence that would be cut: never leave a lead byte without its tail.
    if (count < text.size()) {
        while (count > 0 && IsContinuation(static_cast<unsigned char>(text[count]))) {
            --count;
        }
    }
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}

}  // namespace flanger::platform::user32
