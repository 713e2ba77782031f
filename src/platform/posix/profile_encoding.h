// The encodings of profile files, and the 8-bit text that the profile calls work on.
//
// Most profile files are 8-bit text and are taken as bytes. A file that starts with a UTF-16
// byte order mark (FF FE little-endian, FE FF big-endian: what Windows editors save as
// "Unicode") is UTF-16. The profile calls read it as UTF-8, the module's 8-bit text on Linux
// (the XML layer gives its text in UTF-8 too), so every character of the file can be read; an
// update writes it back in UTF-16 of the same byte order, with its byte order mark, and with
// every other character as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace flanger::platform::posix {

enum class ProfileEncoding { Bytes, Utf16LittleEndian, Utf16BigEndian };

// A profile file's content as 8-bit text, with what it takes to write it back.
struct ProfileText {
    ProfileEncoding Encoding = ProfileEncoding::Bytes;
    std::string Text;  // for UTF-16 without the byte order mark
    std::string Tail;  // for UTF-16 an odd last byte, which no character holds; kept as it is
};

// Why a file is decoded: to read entries, or to edit it and write it back.
enum class DecodePurpose { Read, Edit };

// The text of a file's bytes. For reading, a UTF-16 unit that is no character (a surrogate
// without its partner) becomes U+FFFD; for editing it becomes the three bytes that UTF-8 would
// give its number, which are not UTF-8 but let EncodeProfile give the unit back unchanged.
ProfileText DecodeProfile(std::string bytes, DecodePurpose purpose);

// Whether `text`, a name or value a caller wants to write, can be stored in the encoding: any
// bytes in an 8-bit file, only well-formed UTF-8 in UTF-16 (a byte that no character begins
// with would have to be replaced, and would not read back as written).
bool CanStore(ProfileEncoding encoding, std::string_view text);

// The bytes of a text decoded for editing, in its encoding; nothing when the text holds bytes
// that do not encode (CanStore keeps them out of new text).
std::optional<std::string> EncodeProfile(const ProfileText& text);

}  // namespace flanger::platform::posix
