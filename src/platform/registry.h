// A hierarchical key store with the calls and results of the Windows registry, as far as the
// preset storage uses it.
//
// On Windows these are the ADVAPI32 Reg* functions; elsewhere our own store (platform/posix),
// kept in an SQLite database. Keys are named by backslash-separated paths below a predefined
// root key, matched without regard to case and stored with the case they were created with.
// Results are the platform's error codes (kRegistrySuccess and the codes below).
//
// The POSIX store:
// - The database is the file named by $FLANGER_REGISTRY, else
//   $XDG_CONFIG_HOME/flanger/registry.sqlite3, else ~/.config/flanger/registry.sqlite3. The
//   location is looked up at each open below a predefined root; keys opened below an open key
//   stay in that key's database. Missing folders are made with mode 0700, the file with 0600.
// - Every predefined root is a tree of its own, all of them in that one per-user file
//   (HKEY_LOCAL_MACHINE is not shared between users, HKEY_CLASSES_ROOT is no merged view).
// - Names are compared with ASCII letters folded; other bytes must be equal.
// - Values set through a key handle are kept with the handle and written in one transaction
//   when it is closed, so other handles and processes see a saved preset whole or not at all;
//   reads through the same handle see them at once. A handle never closed (the process ends)
//   writes nothing. Keys themselves are written at once.
// - Processes may share the database (write-ahead log). A call waits up to five seconds for a
//   database another writer keeps busy (the wait of posix/store_wait.h), then fails; a key's close that fails so, or on a
//   read-only or full store, says so and stores none of its values. Threads may share handles; the
//   calls are serialised. A handle is valid only in the process that opened it: a child of fork()
//   finds its parent's keys invalid and opens its own, and, as SQLite requires, should only use the
//   store if no key was open at the fork.
// - No call throws; a failed allocation gives kRegistryOutOfMemory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "flanger_plugin.h"

namespace flanger::platform {

using RegistryKey = FlangerRegistryKey;

// Results, with the values of the Windows error codes.
inline constexpr long kRegistrySuccess = 0;
inline constexpr long kRegistryFileNotFound = 2;       // ERROR_FILE_NOT_FOUND: no such key or value
inline constexpr long kRegistryAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr long kRegistryInvalidHandle = 6;      // ERROR_INVALID_HANDLE
inline constexpr long kRegistryOutOfMemory = 8;        // ERROR_NOT_ENOUGH_MEMORY
inline constexpr long kRegistryInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr long kRegistryBadPathName = 161;      // ERROR_BAD_PATHNAME: an empty key name
inline constexpr long kRegistryMoreData = 234;         // ERROR_MORE_DATA: the buffer is too small
inline constexpr long kRegistryNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS: enumeration done
inline constexpr long kRegistryBadDatabase = 1009;     // ERROR_BADDB: not a store we can read
inline constexpr long kRegistryBadKey = 1010;          // ERROR_BADKEY: no place for a created key
inline constexpr long kRegistryCannotRead = 1012;      // ERROR_CANTREAD: the store cannot be read
inline constexpr long kRegistryCannotWrite = 1013;  // ERROR_CANTWRITE: the store cannot be written

// Access rights, with the values of the KEY_* rights. An open key allows only the calls its
// rights name; the GENERIC_* rights and MAXIMUM_ALLOWED map as on Windows, other bits are
// ignored. Predefined roots allow everything.
inline constexpr std::uint32_t kRegistryQueryValue = 0x0001;        // QueryRegistryValue
inline constexpr std::uint32_t kRegistrySetValue = 0x0002;          // SetRegistryValue
inline constexpr std::uint32_t kRegistryCreateSubKey = 0x0004;      // create keys below this one
inline constexpr std::uint32_t kRegistryEnumerateSubKeys = 0x0008;  // EnumRegistrySubKey
inline constexpr std::uint32_t kRegistryKeyRead = 0x20019;
inline constexpr std::uint32_t kRegistryKeyWrite = 0x20006;
inline constexpr std::uint32_t kRegistryKeyAllAccess = 0xF003F;

// Value types, with the values of REG_NONE, REG_SZ, REG_BINARY and REG_DWORD. Any 32-bit type
// number may be stored; the store keeps it and the bytes as given and interprets neither.
inline constexpr std::uint32_t kRegistryTypeNone = 0;
inline constexpr std::uint32_t kRegistryTypeString = 1;
inline constexpr std::uint32_t kRegistryTypeBinary = 3;
inline constexpr std::uint32_t kRegistryTypeDword = 4;

// Limits. Longer names and larger values are refused with kRegistryInvalidParameter; a query
// for a longer value name finds nothing.
inline constexpr std::size_t kRegistryMaxKeyNameLength = 255;      // bytes per key name
inline constexpr std::size_t kRegistryMaxKeyDepth = 512;           // key names in one sub-key path
inline constexpr std::size_t kRegistryMaxValueNameLength = 16383;  // bytes
inline constexpr std::uint32_t kRegistryMaxValueSize = 1u << 20;   // bytes of one value's data

// The predefined root keys, with their Windows handle values (sign-extended on 64-bit targets).
inline const RegistryKey kRegistryClassesRoot = reinterpret_cast<RegistryKey>(
    static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000000u)));
inline const RegistryKey kRegistryCurrentUser = FLANGER_HKEY_CURRENT_USER;
inline const RegistryKey kRegistryLocalMachine = FLANGER_HKEY_LOCAL_MACHINE;
inline const RegistryKey kRegistryUsers = reinterpret_cast<RegistryKey>(
    static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000003u)));
inline const RegistryKey kRegistryCurrentConfig = reinterpret_cast<RegistryKey>(
    static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000005u)));

// Sub-key paths: key names separated by single backslashes, such as "Software\\Vornak\\Flanger".
// A null or empty path names `root` itself; one trailing backslash is ignored. A leading
// backslash or an empty name inside the path ("a\\\\b") gives kRegistryBadPathName; a name longer
// than kRegistryMaxKeyNameLength or more than kRegistryMaxKeyDepth names give
// kRegistryInvalidParameter. `root` is a predefined root or a key opened by the calls below;
// anything else, also a closed key, gives kRegistryInvalidHandle. On failure *result is null. A
// null `result` gives kRegistryInvalidParameter for an open and kRegistryBadKey for a create,
// as Windows answers them.

// Opens the existing key `subKey` below `root` with the rights `access` (RegOpenKeyExA with
// options 0). A missing key, or a store that does not exist yet, gives kRegistryFileNotFound;
// an empty or null subKey opens `root` itself anew.
long OpenRegistryKey(RegistryKey root, const char* subKey, std::uint32_t access,
                     RegistryKey* result);

// Opens `subKey` below `root`, creating it and any missing keys on its path (RegCreateKeyExA:
// no class, options 0, no security attributes, disposition not requested). Making a key needs
// kRegistryCreateSubKey on `root` (kRegistryAccessDenied otherwise). Below a predefined root the
// store must be writable: a folder or file that cannot be made or written gives
// kRegistryCannotWrite.
long CreateRegistryKey(RegistryKey root, const char* subKey, std::uint32_t access,
                       RegistryKey* result);

// Reads the value `name` (RegQueryValueExA; null or "" is the key's default value). `type` and
// `data` may be null; `size` may be null only when `data` is. On entry *size is the capacity of
// `data`; on return the size of the value. `type` and `size` may point at the same variable:
// the capacity is read before the type is written, and the size is written last. A value larger
// than the capacity gives kRegistryMoreData, sets *type and *size and leaves `data` untouched. A
// missing value gives kRegistryFileNotFound and leaves all three untouched. Needs
// kRegistryQueryValue.
long QueryRegistryValue(RegistryKey key, const char* name, std::uint32_t* type, void* data,
                        std::uint32_t* size);

// Stores the value `name` with its type and bytes (RegSetValueExA, reserved 0); `data` may be
// null when `size` is 0. Needs kRegistrySetValue. Values set through an opened key are written
// when it is closed (see above); set directly on a predefined root, at once.
long SetRegistryValue(RegistryKey key, const char* name, std::uint32_t type, const void* data,
                      std::uint32_t size);

// Copies the name of the `index`-th key directly below `key` (ordered by name without regard
// to case) and its NUL into `name` (RegEnumKeyExA without class or time). On entry *nameSize is
// the capacity of `name` in bytes; on success it is the length of the name without the NUL. A
// name that does not fit gives kRegistryMoreData, sets *nameSize to the capacity it needs and
// leaves `name` untouched; an index past the last key gives kRegistryNoMoreItems. Needs
// kRegistryEnumerateSubKeys.
long EnumRegistrySubKey(RegistryKey key, std::uint32_t index, char* name, std::uint32_t* nameSize);

// Closes a key opened or created by the calls above (RegCloseKey), first writing the values set
// through it in one transaction; if that fails the key is closed all the same and the result
// says why (kRegistryCannotWrite, for one). Closing a predefined root does nothing.
long CloseRegistryKey(RegistryKey key);

}  // namespace flanger::platform
