// Text helpers of the layer: the template text conversions and name comparison (shared with the
// template writer), and text copied into a caller's buffer.
#pragma once

#include <string>
#include <string_view>

#include "windowing/template_text.h"

namespace flanger::platform::user32 {

// Copies as much of `text` as fits into `buffer` of `bufferSize` bytes with a terminating NUL,
// never splitting a UTF-8 sequence. Returns the bytes copied, without the NUL; 0 when there
// is no room at all.
int CopyTextOut(std::string_view text, char* buffer, int bufferSize);

}  // namespace flanger::platform::user32
