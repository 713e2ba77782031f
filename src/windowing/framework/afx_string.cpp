// CString::Format over the C runtime's vsnprintf.
#include "windowing/framework/afx_string.h"

#include <cstdarg>
#include <cstdio>

namespace flanger::framework {

void CString::Format(const char* format, ...) {
    // Short texts (every label of the settings window) are formatted once into a local buffer;
    // longer ones are measured first. Nothing that can throw runs between va_start and va_end.
    char shortText[64];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(shortText, sizeof shortText, format, arguments);
    va_end(arguments);
    if (length < 0) {
        m_text.clear();
        return;
    }
    const auto size = static_cast<std::size_t>(length);
    if (size < sizeof shortText) {
        m_text.assign(shortText, size);
        return;
    }
    std::string text(size, '\0');
    va_start(arguments, format);
    std::vsnprintf(text.data(), size + 1, format, arguments);
    va_end(arguments);
    m_text = std::move(text);
}

}  // namespace flanger::framework
