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
#include "platform/win32/windows_api.h"

#include <cstring>
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
    if (result == nullptr) return kRegistryInvalidParameter;
    *result = nullptr;
    if (const long checked = CheckKeyPath(subKey); checked != kRegistrySuccess) return checked;
    HKEY opened = nullptr;
    const LSTATUS status =
        create ? RegCreateKeyExA(ToHkey(root), subKey != nullptr ? subKey : "", 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, access, nullptr, &opened, nullptr)
               : RegOpenKeyExA(ToHkey(root), subKey, 0, access, &opened);
    if (status != ERROR_SUCCESS) return status;
    *result = opened;
    return kRegistrySuccess;
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
            if (storedSize > *size) {
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

long CloseRegistryKey(RegistryKey key) {
    if (IsPredefinedRoot(key)) return kRegistrySuccess;
    return RegCloseKey(ToHkey(key));
}

}  // namespace flanger::platform
