// Handle numbers for open registry keys.
#include "platform/posix/registry_handle_table.h"

#include <unistd.h>

namespace flanger::platform {
namespace {

bool IsReserved(std::uintptr_t value) {
    return value == 0 || (static_cast<std::uint32_t>(value) & 0xFFFFFFF0u) == 0x80000000u;
}

}  // namespace

RegistryKey RegistryHandleTable::Add(OpenKey key) {
    ForgetParentsHandles();
    std::uintptr_t handle = NextHandle;
    while (IsReserved(handle) || Keys.contains(handle)) {
        handle += kHandleStep;
    }
    Keys.emplace(handle, std::move(key));
    NextHandle = handle + kHandleStep;
    return reinterpret_cast<RegistryKey>(handle);
}

OpenKey* RegistryHandleTable::Find(RegistryKey handle) {
    ForgetParentsHandles();
    const auto found = Keys.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == Keys.end() ? nullptr : &found->second;
}

bool RegistryHandleTable::Remove(RegistryKey handle, OpenKey& removed) {
    ForgetParentsHandles();
    const auto found = Keys.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == Keys.end()) {
        return false;
    }
    removed = std::move(found->second);
    Keys.erase(found);
    return true;
}

void RegistryHandleTable::ForgetParentsHandles() {
    const pid_t self = getpid();
    if (Owner == self) {
        return;
    }
    // RegistryDatabase leaves a connection of another process alone when destroyed.
    Keys.clear();
    Owner = self;
}

}  // namespace flanger::platform
