// Text in dialog templates: UTF-16 in the template, UTF-8 (the 8-bit text of the windowing
// functions on Linux) in the code, and class names compared without regard to ASCII case.
#pragma once

#include <string>
#include <string_view>

namespace flanger::platform {

// UTF-8 to UTF-16. Each maximal ill-formed subsequence becomes one U+FFFD, as the Unicode
// standard recommends (overlong forms, surrogates and values above U+10FFFF are ill-formed).
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD. Throws std::bad_alloc.
std::string Utf16ToUtf8(std::u16string_view text);

// ASCII letters compare without regard to case, every other byte exactly.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace flanger::platform
