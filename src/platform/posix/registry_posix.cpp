// The registry calls of registry.h on POSIX systems: the semantics of the Windows calls over the
// SQLite store of registry_database.h, with the open keys in a handle table.
//
// One mutex serialises every call: the calls are short, and it guards the handle table and the
// connections that several handles share.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/posix/registry_database.h"
#include "platform/posix/registry_handle_table.h"
#include "platform/posix/registry_location.h"
#include "platform/posix/registry_names.h"
#include "platform/registry.h"

namespace flanger::platform {
namespace {

using Root = RegistryDatabase::Root;
using Mode = RegistryDatabase::Mode;

struct RegistryState {
    std::mutex mutex;
    RegistryHandleTable handles;
};

// Destroyed when the module is unloaded or the process exits, closing the connections of keys
// a host left open (their pending values are dropped, as registry.h says). An editor loads and
// unloads the module many times; a state that outlived each unload would leak every time.
RegistryState& State() {
    static RegistryState state;
    return state;
}

constexpr std::intptr_t PredefinedHandleValue(std::uint32_t windowsValue) {
    return static_cast<std::intptr_t>(static_cast<std::int32_t>(windowsValue));
}

std::optional<Root> PredefinedRoot(RegistryKey key) {
    switch (reinterpret_cast<std::intptr_t>(key)) {
        case PredefinedHandleValue(0x80000000u):
            return Root::ClassesRoot;
        case PredefinedHandleValue(0x80000001u):
            return Root::CurrentUser;
        case PredefinedHandleValue(0x80000002u):
            return Root::LocalMachine;
        case PredefinedHandleValue(0x80000003u):
            return Root::Users;
        case PredefinedHandleValue(0x80000005u):
            return Root::CurrentConfig;
        default:
            return std::nullopt;
    }
}

// The KEY_* rights that `access` grants, with the generic rights mapped as Windows maps them
// for registry keys.
std::uint32_t GrantedRights(std::uint32_t access) {
    constexpr std::uint32_t kGenericRead = 0x80000000u;
    constexpr std::uint32_t kGenericWrite = 0x40000000u;
    constexpr std::uint32_t kGenericExecute = 0x20000000u;
    constexpr std::uint32_t kGenericAll = 0x10000000u;
    constexpr std::uint32_t kMaximumAllowed = 0x02000000u;
    std::uint32_t rights = access & kRegistryKeyAllAccess;
    if ((access & (kGenericRead | kGenericExecute)) != 0) {
        rights |= kRegistryKeyRead;
    }
    if ((access & kGenericWrite) != 0) {
        rights |= kRegistryKeyWrite;
    }
    if ((access & (kGenericAll | kMaximumAllowed)) != 0) {
        rights |= kRegistryKeyAllAccess;
    }
    return rights;
}

// The key a call works on: an open key of the table, or a predefined root, whose database is
// opened for this one call (in `temporary`).
long ResolveKey(RegistryState& state, RegistryKey key, Mode mode, OpenKey& temporary,
                OpenKey*& resolved) {
    resolved = nullptr;
    if (const std::optional<Root> root = PredefinedRoot(key)) {
        std::unique_ptr<RegistryDatabase> database;
        const long opened = RegistryDatabase::Open(RegistryDatabasePath(), mode, database);
        if (opened != kRegistrySuccess) {
            return opened;
        }
        temporary.database = std::move(database);
        temporary.keyId = RegistryDatabase::RootKeyId(*root);
        temporary.rights = kRegistryKeyAllAccess;
        resolved = &temporary;
        return kRegistrySuccess;
    }
    resolved = state.handles.Find(key);
    return resolved != nullptr ? kRegistrySuccess : kRegistryInvalidHandle;
}

RegistryValue* FindPending(std::vector<RegistryValue>& pending, std::string_view name) {
    const auto found = std::find_if(pending.begin(), pending.end(), [&](const RegistryValue& v) {
        return SameRegistryName(v.name, name);
    });
    return found == pending.end() ? nullptr : &*found;
}

long OpenOrCreate(RegistryKey root, const char* subKey, std::uint32_t access, RegistryKey* result,
                  bool create) {
    if (result == nullptr) {
        return create ? kRegistryBadKey : kRegistryInvalidParameter;
    }
    *result = nullptr;
    RegistryState& state = State();
    const std::lock_guard lock(state.mutex);
    const std::optional<Root> predefined = PredefinedRoot(root);
    if (!predefined && state.handles.Find(root) == nullptr) {
        return kRegistryInvalidHandle;  // before the path, and before touching the store
    }
    std::vector<std::string_view> names;
    if (const long split = SplitKeyPath(subKey, names); split != kRegistrySuccess) {
        return split;
    }
    OpenKey parentRoot;
    OpenKey* parent = nullptr;
    const long resolved =
        ResolveKey(state, root, create ? Mode::Write : Mode::ReadExisting, parentRoot, parent);
    if (resolved != kRegistrySuccess) {
        return resolved;
    }
    OpenKey key;
    key.database = parent->database;
    key.rights = GrantedRights(access);
    const long found =
        create ? key.database->CreateKey(parent->keyId, names,
                                         (parent->rights & kRegistryCreateSubKey) != 0, key.keyId)
               : key.database->FindKey(parent->keyId, names, key.keyId);
    if (found != kRegistrySuccess) {
        return found;
    }
    *result = state.handles.Add(std::move(key));
    return kRegistrySuccess;
}

// Every call runs behind a C boundary: nothing may escape. Allocation is the only thing below
// that throws.
template <typename Call>
long Guarded(Call&& call) noexcept {
    try {
        return call();
    } catch (...) {
        return kRegistryOutOfMemory;
    }
}

}  // namespace

long OpenRegistryKey(RegistryKey root, const char* subKey, std::uint32_t access,
                     RegistryKey* result) {
    return Guarded([&] { return OpenOrCreate(root, subKey, access, result, false); });
}

long CreateRegistryKey(RegistryKey root, const char* subKey, std::uint32_t access,
                       RegistryKey* result) {
    return Guarded([&] { return OpenOrCreate(root, subKey, access, result, true); });
}

long QueryRegistryValue(RegistryKey key, const char* name, std::uint32_t* type, void* data,
                        std::uint32_t* size) {
    return Guarded([&] {
        if (data != nullptr && size == nullptr) {
            return kRegistryInvalidParameter;
        }
        const std::string_view valueName = name != nullptr ? name : "";
        RegistryState& state = State();
        const std::lock_guard lock(state.mutex);
        OpenKey rootKey;
        OpenKey* open = nullptr;
        const long resolved = ResolveKey(state, key, Mode::ReadExisting, rootKey, open);
        if (resolved != kRegistrySuccess) {
            return resolved;
        }
        if ((open->rights & kRegistryQueryValue) == 0) {
            return kRegistryAccessDenied;
        }
        if (valueName.size() > kRegistryMaxValueNameLength) {
            return kRegistryFileNotFound;  // no such value can have been stored
        }
        RegistryValue stored;
        const RegistryValue* value = FindPending(open->pending, valueName);
        if (value == nullptr) {
            const long read = open->database->ReadValue(open->keyId, valueName, stored);
            if (read != kRegistrySuccess) {
                return read;
            }
            value = &stored;
        }
        const auto storedSize = static_cast<std::uint32_t>(value->data.size());
        // Read before *type is written: a caller may pass one variable for both.
        const std::uint32_t capacity = data != nullptr ? *size : 0;
        if (type != nullptr) {
            *type = value->type;
        }
        if (data != nullptr && storedSize > capacity) {
            *size = storedSize;
            return kRegistryMoreData;
        }
        if (data != nullptr && storedSize != 0) {
            std::memcpy(data, value->data.data(), storedSize);
        }
        if (size != nullptr) {
            *size = storedSize;
        }
        return kRegistrySuccess;
    });
}

long SetRegistryValue(RegistryKey key, const char* name, std::uint32_t type, const void* data,
                      std::uint32_t size) {
    return Guarded([&] {
        const std::string_view valueName = name != nullptr ? name : "";
        if ((data == nullptr && size != 0) || size > kRegistryMaxValueSize ||
            valueName.size() > kRegistryMaxValueNameLength) {
            return kRegistryInvalidParameter;
        }
        RegistryState& state = State();
        const std::lock_guard lock(state.mutex);
        OpenKey rootKey;
        OpenKey* open = nullptr;
        const long resolved = ResolveKey(state, key, Mode::Write, rootKey, open);
        if (resolved != kRegistrySuccess) {
            return resolved;
        }
        if ((open->rights & kRegistrySetValue) == 0) {
            return kRegistryAccessDenied;
        }
        const auto* bytes = static_cast<const unsigned char*>(data);
        RegistryValue value{std::string(valueName), type,
                            std::vector<unsigned char>(bytes, bytes + size)};
        if (open == &rootKey) {
            return open->database->WriteValues(open->keyId, {&value, 1});
        }
        if (RegistryValue* existing = FindPending(open->pending, valueName)) {
            existing->type = type;  // the first spelling of the name stays, as in the store
            existing->data = std::move(value.data);
        } else {
            open->pending.push_back(std::move(value));
        }
        return kRegistrySuccess;
    });
}

long EnumRegistrySubKey(RegistryKey key, std::uint32_t index, char* name, std::uint32_t* nameSize) {
    return Guarded([&] {
        if (name == nullptr || nameSize == nullptr) {
            return kRegistryInvalidParameter;
        }
        RegistryState& state = State();
        const std::lock_guard lock(state.mutex);
        OpenKey rootKey;
        OpenKey* open = nullptr;
        const long resolved = ResolveKey(state, key, Mode::ReadExisting, rootKey, open);
        if (resolved == kRegistryFileNotFound && PredefinedRoot(key)) {
            return kRegistryNoMoreItems;  // no store yet: the roots are empty
        }
        if (resolved != kRegistrySuccess) {
            return resolved;
        }
        if ((open->rights & kRegistryEnumerateSubKeys) == 0) {
            return kRegistryAccessDenied;
        }
        std::string subKeyName;
        const long listed = open->database->SubKeyName(open->keyId, index, subKeyName);
        if (listed != kRegistrySuccess) {
            return listed;
        }
        const auto needed = static_cast<std::uint32_t>(subKeyName.size() + 1);
        if (needed > *nameSize) {
            *nameSize = needed;
            return kRegistryMoreData;
        }
        std::memcpy(name, subKeyName.c_str(), needed);
        *nameSize = needed - 1;
        return kRegistrySuccess;
    });
}

long HoldRegistrySnapshot(RegistryKey key) {
    return Guarded([&] {
        RegistryState& state = State();
        const std::lock_guard lock(state.mutex);
        OpenKey* open = state.handles.Find(key);
        if (open == nullptr) {
            return kRegistryInvalidHandle;
        }
        if (open->holdsSnapshot) {
            return kRegistrySuccess;
        }
        const long held = open->database->HoldSnapshot();
        open->holdsSnapshot = held == kRegistrySuccess;
        return held;
    });
}

long CloseRegistryKey(RegistryKey key) {
    return Guarded([&] {
        if (PredefinedRoot(key)) {
            return kRegistrySuccess;
        }
        RegistryState& state = State();
        const std::lock_guard lock(state.mutex);
        OpenKey closed;
        if (!state.handles.Remove(key, closed)) {
            return kRegistryInvalidHandle;
        }
        if (closed.holdsSnapshot) {
            closed.database->ReleaseSnapshot();
        }
        if (closed.pending.empty()) {
            return kRegistrySuccess;
        }
        return closed.database->WriteValues(closed.keyId, closed.pending);
    });
}

}  // namespace flanger::platform
