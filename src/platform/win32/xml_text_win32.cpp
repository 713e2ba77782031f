// The conversions between the ANSI code page and the parser's UTF-16 strings. Both go through
// buffers that include the terminator, so the system converts the terminator too and an empty
// text is a one-character conversion rather than a zero-length one (which it refuses).
#include "platform/win32/xml_text_win32.h"

#include <climits>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "platform/xml_document.h"

namespace flanger::platform {
namespace {

[[noreturn]] void RaiseOutOfMemory(const char* operation) {
    throw XmlParserError(kXmlStatusOutOfMemory,
                         std::string("XML parser out of memory: ") + operation);
}

[[noreturn]] void RaiseLastError(const char* operation) {
    throw XmlParserError(StatusFromSystemError(GetLastError()),
                         std::string("XML parser text conversion failed: ") + operation);
}

}  // namespace

std::int32_t StatusFromSystemError(DWORD error) {
    return static_cast<std::int32_t>(0x80070000u | (error & 0xFFFFu));
}

OwnedBstr AnsiToBstr(const char* text) {
    if (text == nullptr) {
        return OwnedBstr();
    }
    const int length = lstrlenA(text);
    if (length < 0 || length == INT_MAX) {
        RaiseOutOfMemory("text for the parser");
    }
    const int count = length + 1;
    std::unique_ptr<OLECHAR[]> wide(new (std::nothrow) OLECHAR[static_cast<std::size_t>(count)]);
    if (!wide) {
        RaiseOutOfMemory("text for the parser");
    }
    if (MultiByteToWideChar(CP_ACP, 0, text, count, wide.get(), count) == 0) {
        RaiseLastError("text for the parser");
    }
    OwnedBstr result(SysAllocString(wide.get()));
    if (result.Get() == nullptr) {
        RaiseOutOfMemory("text for the parser");
    }
    return result;
}

std::string BstrToAnsi(const OLECHAR* text) {
    if (text == nullptr) {
        return std::string();
    }
    const std::size_t length = std::wcslen(text);
    // Two bytes per UTF-16 unit hold any single- or double-byte code page. A system whose ANSI
    // code page is UTF-8 may need three; the buffer is then measured and the text converted
    // again.
    if (length > static_cast<std::size_t>(INT_MAX / 2 - 1)) {
        RaiseOutOfMemory("text from the parser");
    }
    const int count = static_cast<int>(length) + 1;
    int size = 2 * static_cast<int>(length) + 2;
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::unique_ptr<char[]> narrow(new (std::nothrow) char[static_cast<std::size_t>(size)]);
        if (!narrow) {
            RaiseOutOfMemory("text from the parser");
        }
        const int written =
            WideCharToMultiByte(CP_ACP, 0, text, count, narrow.get(), size, nullptr, nullptr);
        if (written > 0) {
            try {
                // `written` counts the terminator.
                return std::string(narrow.get(), static_cast<std::size_t>(written - 1));
            } catch (const std::bad_alloc&) {
                RaiseOutOfMemory("text from the parser");
            }
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || attempt != 0) {
            throw XmlParserError(StatusFromSystemError(error),
                                 "XML parser text conversion failed: text from the parser");
        }
        size = WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
        if (size <= 0) {
            RaiseLastError("text from the parser");
        }
    }
    RaiseLastError("text from the parser");
}

}  // namespace flanger::platform
