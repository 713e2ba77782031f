// Text between the settings tree and the COM XML parser: the tree holds 8-bit strings in the
// system's ANSI code page, the parser takes and gives UTF-16 BSTRs. Only the XML layer uses
// these; their failures are raised as XmlParserError, like every other failure of the parser.
#pragma once

#include "platform/win32/windows_api.h"
// After <windows.h>, on which it builds.
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <utility>

namespace flanger::platform {

// A BSTR that this code owns and frees with SysFreeString. Empty (null) by default.
class OwnedBstr {
public:
    OwnedBstr() = default;
    explicit OwnedBstr(BSTR text) noexcept : text_(text) {}
    ~OwnedBstr() { Reset(); }
    OwnedBstr(OwnedBstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    OwnedBstr& operator=(OwnedBstr&& other) noexcept {
        if (this != &other) {
            Reset();
            text_ = std::exchange(other.text_, nullptr);
        }
        return *this;
    }
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;

    BSTR Get() const noexcept { return text_; }

    // Frees the current string and gives the address for a call that hands out a new one.
    BSTR* Receive() noexcept {
        Reset();
        return &text_;
    }

    void Reset() noexcept {
        if (text_ != nullptr) {
            SysFreeString(std::exchange(text_, nullptr));
        }
    }

private:
    BSTR text_ = nullptr;
};

// The HRESULT form of a system error code: 0x80070000 with the code's low 16 bits.
std::int32_t StatusFromSystemError(DWORD error);

// `text` (ANSI code page, terminated) as a BSTR; a null text gives a null string. Raises
// XmlParserError with kXmlStatusOutOfMemory when the string cannot be allocated and with the
// system's error when the conversion fails.
OwnedBstr AnsiToBstr(const char* text);

// `text` (UTF-16, up to its first null character) in the ANSI code page. A null string gives
// an empty text: an 8-bit string here cannot be null. Characters that the code page lacks become
// the system's default character. Raises XmlParserError like AnsiToBstr.
std::string BstrToAnsi(const OLECHAR* text);

}  // namespace flanger::platform
