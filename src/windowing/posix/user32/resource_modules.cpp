// LoadLibraryA, FreeLibrary, FindResourceA, LoadResource, LockResource, SizeofResource and
// FlangerRegisterResourceModule (FlangerUnregisterResourceModule is in module_unloading.cpp).
//
// A module's resources come from its FlangerFindResource entry point (see
// flanger_resource_library.h). Resources are looked up by integer type and name only; a string
// type or name is not found. A null module stands for the program itself, found through
// dlopen(NULL). dlopen and the entry point run without the layer's lock held, since a library's
// constructors may call back into the layer.
#include "windowing/posix/user32/resource_modules.h"

#include <dlfcn.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <tuple>

#include "flanger_user32.h"
#include "windowing/posix/user32/api_guard.h"

namespace flanger::platform::user32 {
namespace {

struct Module {
    void* library = nullptr;  // the dlopen handle; null for a registered module
    FlangerFindResourceFunction find = nullptr;
    int loads = 1;  // LoadLibraryA calls not yet matched by FreeLibrary
};

struct Resource {
    std::uintptr_t module = 0;
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

class ModuleTable {
public:
    std::mutex Mutex;
    std::map<std::uintptr_t, Module> Modules;
    std::map<std::uintptr_t, Resource> Resources;
    // The handle of each resource found, so the same resource gives the same handle.
    std::map<std::tuple<std::uintptr_t, WORD, WORD>, std::uintptr_t> ResourceHandles;
    std::uintptr_t NextHandle = 0x20000;
    std::uintptr_t ProgramModule = 0;

    std::uintptr_t NewHandle() {
        const std::uintptr_t handle = NextHandle;
        NextHandle += 4;
        return handle;
    }

    // The module handle for a dlopen handle already in the table, or 0. Mutex held.
    std::uintptr_t FindLibrary(void* library) const {
        for (const auto& [handle, module] : Modules) {
            if (library != nullptr && module.library == library) {
                return handle;
            }
        }
        return 0;
    }

    void ForgetResourcesOf(std::uintptr_t module) {
        std::erase_if(Resources,
                      [module](const auto& entry) { return entry.second.module == module; });
        std::erase_if(ResourceHandles,
                      [module](const auto& entry) { return std::get<0>(entry.first) == module; });
    }

    // Resource handles whose resource is gone are not handed out again.
    void ForgetStaleResourceHandles() {
        std::erase_if(ResourceHandles,
                      [this](const auto& entry) { return !Resources.contains(entry.second); });
    }
};

ModuleTable& Table() {
    static auto* table = new ModuleTable;
    return *table;
}

FlangerFindResourceFunction EntryPoint(void* library) {
    return reinterpret_cast<FlangerFindResourceFunction>(
        dlsym(library, FLANGER_FIND_RESOURCE_ENTRY));
}

// Enters a dlopen'ed library, or counts one more load of it. Null when out of memory (the
// extra dlopen reference is then given back).
HMODULE EnterLibrary(void* library) {
    const FlangerFindResourceFunction find = EntryPoint(library);
    std::uintptr_t handle = 0;
    if (!RunGuarded([&] {
            ModuleTable& table = Table();
            std::lock_guard lock(table.Mutex);
            handle = table.FindLibrary(library);
            if (handle != 0) {
                ++table.Modules[handle].loads;
                return;
            }
            const std::uintptr_t added = table.NewHandle();
            table.Modules.emplace(added, Module{library, find, 1});
            handle = added;
        })) {
        dlclose(library);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(handle);
}

// The module a call names: the program itself for null.
std::uintptr_t ResolveModule(HMODULE module) {
    if (module != nullptr) {
        return reinterpret_cast<std::uintptr_t>(module);
    }
    {
        std::lock_guard lock(Table().Mutex);
        if (Table().ProgramModule != 0) {
            return Table().ProgramModule;
        }
    }
    void* program = dlopen(nullptr, RTLD_NOW);
    if (program == nullptr) {
        return 0;
    }
    const std::uintptr_t handle = reinterpret_cast<std::uintptr_t>(EnterLibrary(program));
    std::lock_guard lock(Table().Mutex);
    if (Table().ProgramModule == 0) {
        Table().ProgramModule = handle;
    }
    return Table().ProgramModule;
}

}  // namespace

std::size_t KnownResourceExtent(const void* address) noexcept {
    std::size_t extent = 0;
    RunGuarded([&] {
        const auto* byte = static_cast<const unsigned char*>(address);
        std::lock_guard lock(Table().Mutex);
        for (const auto& [handle, resource] : Table().Resources) {
            if (byte >= resource.data && byte < resource.data + resource.size) {
                extent = static_cast<std::size_t>(resource.data + resource.size - byte);
                return;
            }
        }
    });
    return extent;
}

FlangerFindResourceFunction RegisteredResourceFunction(HMODULE module) noexcept {
    FlangerFindResourceFunction find = nullptr;
    RunGuarded([&] {
        std::lock_guard lock(Table().Mutex);
        const auto entry = Table().Modules.find(reinterpret_cast<std::uintptr_t>(module));
        if (entry != Table().Modules.end() && entry->second.library == nullptr) {
            find = entry->second.find;
        }
    });
    return find;
}

void ForgetRegisteredModule(HMODULE module, const LoadedObject& object) noexcept {
    RunGuarded([&] {
        ModuleTable& table = Table();
        std::lock_guard lock(table.Mutex);
        std::erase_if(table.Modules, [&](const auto& entry) {
            const Module& registered = entry.second;
            if (registered.library != nullptr ||
                (entry.first != reinterpret_cast<std::uintptr_t>(module) &&
                 !object.ContainsFunction(registered.find))) {
                return false;
            }
            table.ForgetResourcesOf(entry.first);
            return true;
        });
        std::erase_if(table.Resources,
                      [&](const auto& entry) { return object.Contains(entry.second.data); });
        table.ForgetStaleResourceHandles();
    });
}

}  // namespace flanger::platform::user32

using namespace flanger::platform::user32;

extern "C" {

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (fileName[0] == '\0') {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* library = dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return EnterLibrary(library);
}

BOOL FreeLibrary(HMODULE module) {
    void* library = nullptr;
    bool found = false;
    RunGuarded([&] {
        ModuleTable& table = Table();
        std::lock_guard lock(table.Mutex);
        const auto handle = reinterpret_cast<std::uintptr_t>(module);
        const auto entry = table.Modules.find(handle);
        if (entry == table.Modules.end() || entry->second.library == nullptr ||
            handle == table.ProgramModule) {
            return;  // registered modules and the program stay
        }
        found = true;
        library = entry->second.library;
        if (--entry->second.loads == 0) {
            table.ForgetResourcesOf(handle);
            table.Modules.erase(entry);
        }
    });
    if (!found) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    dlclose(library);
    return TRUE;
}

HMODULE FlangerRegisterResourceModule(FlangerFindResourceFunction find) {
    if (find == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::uintptr_t handle = 0;
    RunGuarded([&] {
        ModuleTable& table = Table();
        std::lock_guard lock(table.Mutex);
        for (const auto& [existing, module] : table.Modules) {
            if (module.library == nullptr && module.find == find) {
                handle = existing;
                return;
            }
        }
        handle = table.NewHandle();
        table.Modules.emplace(handle, Module{nullptr, find, 1});
    });
    return reinterpret_cast<HMODULE>(handle);
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!IS_INTRESOURCE(type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const WORD typeId = LOWORD(type);
    const WORD nameId = LOWORD(name);
    std::uintptr_t handle = 0;
    FlangerFindResourceFunction find = nullptr;
    bool known = false;
    if (!RunGuarded([&] {
            handle = ResolveModule(module);
            std::lock_guard lock(Table().Mutex);
            const auto entry = Table().Modules.find(handle);
            if (entry != Table().Modules.end()) {
                known = true;
                find = entry->second.find;
            }
        })) {
        return nullptr;
    }
    if (find == nullptr) {
        // A module without the entry point has no resources at all.
        SetLastError(known ? ERROR_RESOURCE_DATA_NOT_FOUND : ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    uint32_t size = 0;
    const void* data = nullptr;
    try {
        data = find(typeId, nameId, &size);
    } catch (...) {
        data = nullptr;  // a library's lookup must not throw; treat it as absent
    }
    if (data == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    std::uintptr_t resource = 0;
    RunGuarded([&] {
        ModuleTable& table = Table();
        std::lock_guard lock(table.Mutex);
        if (!table.Modules.contains(handle)) {
            return;  // freed meanwhile
        }
        const auto key = std::make_tuple(handle, typeId, nameId);
        const auto known = table.ResourceHandles.find(key);
        if (known != table.ResourceHandles.end()) {
            resource = known->second;
            table.Resources[resource] =
                Resource{handle, static_cast<const unsigned char*>(data), size};
            return;
        }
        resource = table.NewHandle();
        table.Resources.emplace(resource,
                                Resource{handle, static_cast<const unsigned char*>(data), size});
        table.ResourceHandles.emplace(key, resource);
    });
    return reinterpret_cast<HRSRC>(resource);
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    (void)module;  // the resource handle says which module it belongs to
    const unsigned char* data = nullptr;
    RunGuarded([&] {
        std::lock_guard lock(Table().Mutex);
        const auto entry = Table().Resources.find(reinterpret_cast<std::uintptr_t>(resource));
        if (entry != Table().Resources.end()) {
            data = entry->second.data;
        }
    });
    if (data == nullptr) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    return const_cast<unsigned char*>(data);
}

LPVOID LockResource(HGLOBAL resourceData) { return resourceData; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    (void)module;
    DWORD size = 0;
    bool found = false;
    RunGuarded([&] {
        std::lock_guard lock(Table().Mutex);
        const auto entry = Table().Resources.find(reinterpret_cast<std::uintptr_t>(resource));
        if (entry != Table().Resources.end()) {
            size = entry->second.size;
            found = true;
        }
    });
    if (!found) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    return size;
}

}  // extern "C"
