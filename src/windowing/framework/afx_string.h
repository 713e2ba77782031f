// CString: the framework's 8-bit text, a thin class over std::string.
#pragma once

#include <string>

namespace flanger::framework {

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text != nullptr ? text : "") {}  // NOLINT: as the framework

    // Replaces the text with the printf-style formatting of the arguments.
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void
    Format(const char* format, ...);

    const char* GetString() const { return m_text.c_str(); }
    operator const char*() const { return m_text.c_str(); }  // NOLINT: as the framework
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }

    friend bool operator==(const CString&, const CString&) = default;

private:
    std::string m_text;
};

}  // namespace flanger::framework
