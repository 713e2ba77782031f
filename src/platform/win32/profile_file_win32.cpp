// The profile operations on Windows: the private-profile functions of KERNEL32, behind the checks
// that keep every call to the meaning profile_file.h gives it.
//
// The system functions attach other meanings to some arguments, and those must never reach them:
// a null key or value makes a write delete the entry or the whole section, a null section or key
// makes a read list the names, and a null or empty file name means WIN.INI. So null and blank
// names are answered here, and texts that would not read back as written are refused before the
// file is touched. A file name goes to the system as the caller gave it: a bare name
// ("Flanger.ini") is a file in the Windows folder, where hosts that name presets that way and
// their users expect it; a name with a directory part is relative to the current directory.
//
// Where the system's reads answer otherwise than the header, they are shaped here: a key starting
// with ';' names no entry (the system reads a comment line as one); the default of a text read is
// copied here (the system cuts only spaces from its end and removes a pair of quotes from it); a
// quoted text that just fits the buffer is read again (the system cuts it one character short);
// integers are read as decimal text here (the system also takes 0x, 0o and 0b prefixes).
//
// What stays the system's: the file's layout after a write (new lines end in CRLF, blank lines
// go, a name keeps its trailing blanks and a value loses its leading ones, a new key follows the
// comments that close its section), how a header line holding more than one ']' is read, its
// caching and locking, and the conversion of the file's text through the ANSI code page.
#include "platform/win32/windows_api.h"
// <windows.h> comes first: profile_file.h undoes the macro it makes of WriteProfileString.

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile_entry_writes.h"
#include "platform/profile_file.h"

namespace flanger::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return TrimTrailingBlanks(text);
}

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A section or key name that can match an entry: present and not only blanks.
bool IsMatchableName(const char* name) { return name != nullptr && !TrimBlanks(name).empty(); }

// A section and key as a read hands them to the system: trimmed of blanks.
struct EntryName {
    std::string Section;
    std::string Key;
};

// The names of an entry that can exist: both present and not only blanks, and a key that does
// not start with ';', as such a line is a comment.
std::optional<EntryName> ReadableName(const char* section, const char* key) {
    if (!IsMatchableName(section) || !IsMatchableName(key)) return std::nullopt;
    EntryName name{std::string(TrimBlanks(section)), std::string(TrimBlanks(key))};
    if (name.Key.front() == ';') return std::nullopt;
    return name;
}

// Whether a write of these would read back as written: the section name holds no ']' (it would
// end the header early), the key no '=' and does not start with ';' or '[' (it would read as a
// comment or a header), and no text holds a line break.
bool CanStore(const char* section, const char* key, std::string_view value) {
    if (!IsMatchableName(section) || !IsMatchableName(key)) return false;
    const std::string_view sectionName = TrimBlanks(section);
    const std::string_view keyName = TrimBlanks(key);
    return sectionName.find(']') == std::string_view::npos && !HoldsLineBreak(sectionName) &&
           keyName.find('=') == std::string_view::npos && keyName.front() != ';' &&
           keyName.front() != '[' && !HoldsLineBreak(keyName) && !HoldsLineBreak(value);
}

// The file name as the system functions take it; null for a null or empty name, which would
// make them use WIN.INI.
const char* FileName(const char* fileName) {
    return fileName != nullptr && fileName[0] != '\0' ? fileName : nullptr;
}

std::size_t CopyOut(std::string_view text, char* buffer, std::size_t capacity) {
    const std::size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

// Whether the section holds the key. The system answers an absent key with the default it is
// given, so two reads with different one-character defaults agree only when the key is there.
bool HoldsKey(const EntryName& name, const char* path) {
    char first[2] = {};
    char second[2] = {};
    GetPrivateProfileStringA(name.Section.c_str(), name.Key.c_str(), "\x01", first, 2, path);
    GetPrivateProfileStringA(name.Section.c_str(), name.Key.c_str(), "\x02", second, 2, path);
    return first[0] != '\x01' || second[0] != '\x02';
}

// Copies the key's text into `buffer` (capacity at least 2), as much as fits. A quoted text that
// fills the buffer exactly comes back from the system one character short (it drops the last
// character copied as though it were the closing quote), so a text of that length is read again
// with room for one more.
std::size_t ReadText(const EntryName& name, const char* path, char* buffer, std::size_t capacity) {
    const auto size = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD - 1));
    const DWORD length =
        GetPrivateProfileStringA(name.Section.c_str(), name.Key.c_str(), "", buffer, size, path);
    if (length + 2 != size) return length;
    std::string staged(std::size_t{size} + 1, '\0');
    const DWORD whole = GetPrivateProfileStringA(name.Section.c_str(), name.Key.c_str(), "",
                                                 staged.data(), size + 1, path);
    return CopyOut(std::string_view(staged.data(), whole), buffer, capacity);
}

// The key's whole text; empty when the key is absent.
std::string ReadWholeText(const EntryName& name, const char* path) {
    std::string text(64, '\0');
    while (true) {
        const DWORD length =
            GetPrivateProfileStringA(name.Section.c_str(), name.Key.c_str(), "", text.data(),
                                     static_cast<DWORD>(text.size()), path);
        // Two characters short of the buffer is a text the system may have cut (see ReadText).
        if (length + 2 < text.size() || text.size() > MAXDWORD / 4) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

// The text as a decimal integer: blanks skipped, an optional sign, digits up to the first other
// character, wrapping modulo 2^32.
std::uint32_t DecimalValue(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
    std::uint32_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
    }
    return negative ? 0u - value : value;
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Whether the stored text of `key` has the length and digits of `size` encoded bytes. The
// system's struct read checks the length and the checksum but decodes any character as a digit,
// so the digits are checked here first.
bool HoldsEncodedStruct(const EntryName& name, std::uint32_t size, const char* path) {
    const std::uint64_t encodedLength = 2 * std::uint64_t{size} + 2;
    // Room for one more character than expected, so that a longer text shows by its length.
    const std::uint64_t capacity = encodedLength + 2;
    if (capacity > MAXDWORD) return false;
    std::unique_ptr<char[]> text(new (std::nothrow) char[capacity]);
    if (!text) return false;
    const DWORD length = GetPrivateProfileStringA(name.Section.c_str(), name.Key.c_str(), "",
                                                  text.get(), static_cast<DWORD>(capacity), path);
    if (length != encodedLength) return false;
    return std::all_of(text.get(), text.get() + length, IsHexDigit);
}

}  // namespace

std::uint32_t ReadProfileInt(const char* section, const char* key, std::int32_t defaultValue,
                             const char* fileName) {
    const auto fallback = static_cast<std::uint32_t>(defaultValue);
    try {
        const std::optional<EntryName> name = ReadableName(section, key);
        const char* const path = FileName(fileName);
        if (!name || !path) return fallback;
        const std::string text = ReadWholeText(*name, path);
        return text.empty() ? fallback : DecimalValue(text);
    } catch (const std::exception&) {
        return fallback;
    }
}

std::size_t ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              char* buffer, std::size_t capacity, const char* fileName) {
    if (buffer == nullptr || capacity == 0) return 0;
    const std::string_view fallback =
        TrimTrailingBlanks(defaultValue != nullptr ? defaultValue : "");
    // The system needs two bytes to copy anything; one byte holds just the NUL.
    if (capacity == 1) return CopyOut(fallback, buffer, capacity);
    try {
        const std::optional<EntryName> name = ReadableName(section, key);
        const char* const path = FileName(fileName);
        if (!name || !path || !HoldsKey(*name, path)) {
            return CopyOut(fallback, buffer, capacity);
        }
        return ReadText(*name, path, buffer, capacity);
    } catch (const std::exception&) {
        return CopyOut(fallback, buffer, capacity);
    }
}

bool ReadProfileStruct(const char* section, const char* key, void* data, std::uint32_t size,
                       const char* fileName) {
    if (data == nullptr && size != 0) return false;
    try {
        const std::optional<EntryName> name = ReadableName(section, key);
        const char* const path = FileName(fileName);
        if (!name || !path || !HoldsEncodedStruct(*name, size, path)) return false;
        // Decoded aside: the system writes the bytes before it compares the checksum.
        std::unique_ptr<unsigned char[]> staged(new (std::nothrow) unsigned char[size + 1]);
        if (!staged) return false;
        if (!GetPrivateProfileStructA(name->Section.c_str(), name->Key.c_str(), staged.get(), size,
                                      path)) {
            return false;
        }
        if (size != 0) std::memcpy(data, staged.get(), size);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteProfileString(const char* section, const char* key, const char* value,
                        const char* fileName) {
    if (value == nullptr || !CanStore(section, key, value)) return false;
    try {
        const char* const path = FileName(fileName);
        if (!path) return false;
        return WritePrivateProfileStringA(section, key, value, path) != FALSE;
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteProfileStruct(const char* section, const char* key, const void* data, std::uint32_t size,
                        const char* fileName) {
    if (data == nullptr && size != 0) return false;
    // The system sizes its text as 2 * size + 3 in 32 bits.
    if (size > (MAXDWORD - 3) / 2) return false;
    if (!CanStore(section, key, "")) return false;
    try {
        const char* const path = FileName(fileName);
        if (!path) return false;
        // A null block would make the system delete the entry; no bytes still store "00".
        unsigned char noBytes = 0;
        void* bytes = size != 0 ? const_cast<void*>(data) : &noBytes;
        return WritePrivateProfileStructA(section, key, bytes, size, path) != FALSE;
    } catch (const std::exception&) {
        return false;
    }
}

bool WriteProfileSection(const char* section, const std::vector<ProfileEntry>& entries,
                         const char* fileName) {
    try {
        const char* const path = FileName(fileName);
        if (!path) return false;
        // Refused entries are left out before anything is written, as the single writes refuse
        // them without touching the file.
        std::vector<ProfileEntry> storable;
        for (const ProfileEntry& entry : entries) {
            const bool tooLong = entry.isStruct && entry.value.size() > (MAXDWORD - 3) / 2;
            if (!tooLong &&
                CanStore(section, entry.key.c_str(), entry.isStruct ? "" : entry.value)) {
                storable.push_back(entry);
            }
        }
        if (storable.empty()) return false;
        const ProfileEntryCalls calls{
            .StoredText = [&](const std::string& key) -> std::optional<std::string> {
                const std::optional<EntryName> name = ReadableName(section, key.c_str());
                if (!name || !HoldsKey(*name, path)) return std::nullopt;
                return ReadWholeText(*name, path);
            },
            .Write =
                [&](const ProfileEntry& entry) {
                    return entry.isStruct
                               ? WriteProfileStruct(section, entry.key.c_str(), entry.value.data(),
                                                    static_cast<std::uint32_t>(entry.value.size()),
                                                    fileName)
                               : WriteProfileString(section, entry.key.c_str(), entry.value.c_str(),
                                                    fileName);
                },
            // A null text makes the system remove the key.
            .Restore =
                [&](const std::string& key, const std::optional<std::string>& text) {
                    WritePrivateProfileStringA(section, key.c_str(), text ? text->c_str() : nullptr,
                                               path);
                },
        };
        return WriteEntriesOrNone(storable, calls);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace flanger::platform
