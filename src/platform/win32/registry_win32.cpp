// The registry calls of registry.h on Windows: the Reg* functions of ADVAPI32, with a key handle
// passed through as the HKEY it is.
//
// The system decides access, storage and errors. What is added here keeps each call to the
// results registry.h promises where the system leaves them open or answers otherwise: sub-key
// paths are checked against the documented limits first; a failed open leaves a null key; a
// query that does not fit, or finds nothing, leaves the caller's buffer (and its type and size)
// as they were, where the system may have written part of a value; an enumerated name that does
// not fit reports the size it needs; over-long value names and values larger than the store
// takes are refused. Values are written when set, not at the close of their key.
//
// Some systems (Wine among them) are more lenient than the header, and the checks here hold
// them to it as well: handles that are no key of ours but that the system takes as one
// (HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA, a root's number without its sign extension, the pseudo
// handle -1) are refused; a key is made below an opened key only when that key's handle grants
// the right to make one; and sub-key paths reach the system in UTF-16, as the ANSI calls may
// convert them into a buffer of MAX_PATH characters and fail longer paths with ERROR_MORE_DATA.
//
// What stays the system's: the order of enumerated names and the case folding of names beyond
// ASCII (after the conversion through the ANSI code page), and opening a predefined root with an
// empty path, which gives the root itself.
#include "platform/win32/windows_api.h"
// Needs <windows.h> first.
#include <winternl.h>

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace flanger::platform {
namespace {

static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
static_assert(kRegistrySuccess == ERROR_SUCCESS);
static_assert(kRegistryFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kRegistryAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kRegistryInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(kRegistryOutOfMemory == ERROR_NOT_ENOUGH_MEMORY);
static_assert(kRegistryInvalidParameter == ERROR_INVALID_PARAMETER);
static_assert(kRegistryBadPathName == ERROR_BAD_PATHNAME);
static_assert(kRegistryMoreData == ERROR_MORE_DATA);
static_assert(kRegistryNoMoreItems == ERROR_NO_MORE_ITEMS);
static_assert(kRegistryBadDatabase == ERROR_BADDB);
static_assert(kRegistryCannotRead == ERROR_CANTREAD);
static_assert(kRegistryCannotWrite == ERROR_CANTWRITE);
static_assert(kRegistryBadKey == ERROR_BADKEY);
static_assert(kRegistryQueryValue == KEY_QUERY_VALUE);
static_assert(kRegistrySetValue == KEY_SET_VALUE);
static_assert(kRegistryCreateSubKey == KEY_CREATE_SUB_KEY);
static_assert(kRegistryEnumerateSubKeys == KEY_ENUMERATE_SUB_KEYS);
static_assert(kRegistryKeyRead == KEY_READ);
static_assert(kRegistryKeyWrite == KEY_WRITE);
static_assert(kRegistryKeyAllAccess == KEY_ALL_ACCESS);
static_assert(kRegistryTypeNone == REG_NONE);
static_assert(kRegistryTypeString == REG_SZ);
static_assert(kRegistryTypeBinary == REG_BINARY);
static_assert(kRegistryTypeDword == REG_DWORD);

HKEY ToHkey(RegistryKey key) { return static_cast<HKEY>(key); }

bool IsPredefinedRoot(RegistryKey key) {
    return key == kRegistryClassesRoot || key == kRegistryCurrentUser ||
           key == kRegistryLocalMachine || key == kRegistryUsers || key == kRegistryCurrentConfig;
}

// Whether `key` lies in the range the system keeps for predefined and pseudo handles without
// being one of our roots. Handles of opened keys are small numbers, far below 2^31.
bool IsForeignReservedHandle(RegistryKey key) {
    return !IsPredefinedRoot(key) && reinterpret_cast<std::uintptr_t>(key) >= 0x80000000u;
}

// `text` in UTF-16 through the ANSI code page, as the system's ANSI calls convert it; nothing
// when it cannot be converted. Throws std::bad_alloc.
std::optional<std::wstring> Widened(const char* text) {
    if (text == nullptr || text[0] == '\0') return std::wstring();
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length) != length) {
        return std::nullopt;
    }
    wide.resize(static_cast<std::size_t>(length) - 1);
    return wide;
}

// Whether the handle of an opened key grants the right to make keys below it. The system's own
// answer is taken when it cannot be asked.
bool GrantsCreateSubKey(RegistryKey key) {
    using QueryObject = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryObject>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    PUBLIC_OBJECT_BASIC_INFORMATION information{};
    if (query == nullptr || !NT_SUCCESS(query(key, ObjectBasicInformation, &information,
                                              sizeof information, nullptr))) {
        return true;
    }
    return (information.GrantedAccess & KEY_CREATE_SUB_KEY) != 0;
}

// Checks a sub-key path as registry.h describes it: names between single backslashes, one
// trailing backslash allowed, each name at most kRegistryMaxKeyNameLength bytes and at most
// kRegistryMaxKeyDepth of them. The system then gets the path as the caller wrote it.
long CheckKeyPath(const char* subKey) {
    if (subKey == nullptr || subKey[0] == '\0') return kRegistrySuccess;
    std::string_view rest(subKey);
    if (rest.front() == '\\') return kRegistryBadPathName;
    if (rest.back() == '\\') rest.remove_suffix(1);
    std::size_t depth = 0;
    while (true) {
        const std::size_t separator = rest.find('\\');
        const std::string_view name = rest.substr(0, separator);
        if (name.empty()) return kRegistryBadPathName;
        if (name.size() > kRegistryMaxKeyNameLength || depth == kRegistryMaxKeyDepth) {
            return kRegistryInvalidParameter;
        }
        ++depth;
        if (separator == std::string_view::npos) return kRegistrySuccess;
        rest.remove_prefix(separator + 1);
    }
}

long OpenOrCreate(RegistryKey root, const char* subKey, std::uint32_t access, RegistryKey* result,
                  bool create) {
    if (result == nullptr) return create ? kRegistryBadKey : kRegistryInvalidParameter;
    *result = nullptr;
    if (const long checked = CheckKeyPath(subKey); checked != kRegistrySuccess) return checked;
    if (IsForeignReservedHandle(root)) return kRegistryInvalidHandle;
    try {
        const std::optional<std::wstring> path = Widened(subKey);
        if (!path) return kRegistryInvalidParameter;
        HKEY opened = nullptr;
        LSTATUS status = RegOpenKeyExW(ToHkey(root), path->c_str(), 0, access, &opened);
        if (create && status == ERROR_FILE_NOT_FOUND) {
            // Opening an existing key needs no right of `root`; making one does.
            if (!IsPredefinedRoot(root) && !GrantsCreateSubKey(root)) return kRegistryAccessDenied;
            status = RegCreateKeyExW(ToHkey(root), path->c_str(), 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr);
        }
        if (status != ERROR_SUCCESS) return status;
        *result = opened;
        return kRegistrySuccess;
    } catch (const std::bad_alloc&) {
        return kRegistryOutOfMemory;
    }
}

bool IsStringType(std::uint32_t type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

long OpenRegistryKey(RegistryKey root, const char* subKey, std::uint32_t access,
                     RegistryKey* result) {
    return OpenOrCreate(root, subKey, access, result, false);
}

long CreateRegistryKey(RegistryKey root, const char* subKey, std::uint32_t access,
                       RegistryKey* result) {
    return OpenOrCreate(root, subKey, access, result, true);
}

long QueryRegistryValue(RegistryKey key, const char* name, std::uint32_t* type, void* data,
                        std::uint32_t* size) {
    if (data != nullptr && size == nullptr) return kRegistryInvalidParameter;
    if (IsForeignReservedHandle(key)) return kRegistryInvalidHandle;
    if (name != nullptr && std::strlen(name) > kRegistryMaxValueNameLength) {
        return kRegistryFileNotFound;  // no such value can have been stored
    }
    DWORD storedType = REG_NONE;
    DWORD storedSize = 0;
    if (data == nullptr) {
        const LSTATUS status = RegQueryValueExA(ToHkey(key), name, nullptr, &storedType, nullptr,
                                                size != nullptr ? &storedSize : nullptr);
        if (status != ERROR_SUCCESS) return status;
        if (type != nullptr) *type = storedType;
        if (size != nullptr) *size = storedSize;
        return kRegistrySuccess;
    }
    // The value is read aside and copied only when it fits, so that `data` stays untouched by a
    // value too large for it. A value that grows between asking its size and reading it is
    // asked again.
    // A caller may pass one variable for the type and the size: the capacity is read before the
    // type is written, and the size is written last.
    const std::uint32_t capacity = *size;
    try {
        std::vector<unsigned char> staged;
        for (int attempt = 0; attempt < 4; ++attempt) {
            LSTATUS status =
                RegQueryValueExA(ToHkey(key), name, nullptr, &storedType, nullptr, &storedSize);
            if (status != ERROR_SUCCESS) return status;
            staged.resize(storedSize != 0 ? storedSize : 1);
            storedSize = static_cast<DWORD>(staged.size());
            status = RegQueryValueExA(ToHkey(key), name, nullptr, &storedType, staged.data(),
                                      &storedSize);
            if (status == ERROR_MORE_DATA) continue;
            if (status != ERROR_SUCCESS) return status;
            if (type != nullptr) *type = storedType;
            if (storedSize > capacity) {
                *size = storedSize;
                return kRegistryMoreData;
            }
            if (storedSize != 0) std::memcpy(data, staged.data(), storedSize);
            *size = storedSize;
            return kRegistrySuccess;
        }
        return kRegistryCannotRead;  // a value that kept growing while it was read
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

long SetRegistryValue(RegistryKey key, const char* name, std::uint32_t type, const void* data,
                      std::uint32_t size) {
    if ((data == nullptr && size != 0) || size > kRegistryMaxValueSize ||
        (name != nullptr && std::strlen(name) > kRegistryMaxValueNameLength)) {
        return kRegistryInvalidParameter;
    }
    if (IsForeignReservedHandle(key)) return kRegistryInvalidHandle;
    const auto* bytes = static_cast<const BYTE*>(data);
    const BYTE noBytes = 0;
    if (size == 0) return RegSetValueExA(ToHkey(key), name, 0, type, &noBytes, 0);
    if (!IsStringType(type)) return RegSetValueExA(ToHkey(key), name, 0, type, bytes, size);
    // For text types the system looks at the byte after the data to see whether the caller left
    // out a terminating NUL, and counts it in when it is one. A copy ending in a byte that is not
    // NUL keeps that read inside our memory and the value to exactly the bytes given.
    try {
        std::vector<BYTE> staged(bytes, bytes + size);
        staged.push_back(0xFF);
        return RegSetValueExA(ToHkey(key), name, 0, type, staged.data(), size);
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

long EnumRegistrySubKey(RegistryKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) {
    if (name == nullptr || nameSize == nullptr) return kRegistryInvalidParameter;
    if (IsForeignReservedHandle(key)) return kRegistryInvalidHandle;
    // Read aside into room for any key name, so that a name too long for the caller's buffer
    // leaves it untouched and still tells the size it needs, which the system does not.
    // Room for the longest name in any ANSI code page: up to three bytes for each of its 255
    // UTF-16 units, and the NUL.
    char staged[3 * kRegistryMaxKeyNameLength + 1];
    DWORD length = sizeof staged;
    const LSTATUS status =
        RegEnumKeyExA(ToHkey(key), index, staged, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return status;
    if (length + 1 > *nameSize) {
        *nameSize = length + 1;
        return kRegistryMoreData;
    }
    std::memcpy(name, staged, length + 1);
    *nameSize = length;
    return kRegistrySuccess;
}

// Each RegQueryValueExA reads the registry as it is then; there is no view to hold.
long HoldRegistrySnapshot(RegistryKey) { return kRegistrySuccess; }

long CloseRegistryKey(RegistryKey key) {
    if (IsPredefinedRoot(key)) return kRegistrySuccess;
    if (IsForeignReservedHandle(key)) return kRegistryInvalidHandle;
    return RegCloseKey(ToHkey(key));
}

}  // namespace flanger::platform
