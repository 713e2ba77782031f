// The storages a parameter list can be loaded from and saved to, as the load/save driver sees
// them: a profile file section, a registry key or a node of a settings tree.
//
// The driver selects a storage from its arguments, opens it for the length of one call and
// hands it each value of the list in turn. Storages are built elsewhere (one per kind); this
// header is all the driver knows of them.
#pragma once

#include <memory>

#include "flanger_plugin.h"
#include "persistence/parameter_tag.h"

namespace flanger {

// Where a load or save goes, as the caller passes it.
struct StorageTarget {
    const char* fileName = nullptr;        // profile file path, may be null
    const char* section = nullptr;         // profile section, or registry sub-key below rootKey
    FlangerRegistryKey rootKey = nullptr;  // non-null selects the registry
    SettingsNode* document = nullptr;      // non-null selects this settings node
};

enum class StorageKind { None, SettingsNode, Registry, ProfileFile };

// The first that applies: a document, then a registry root key, then a file name; else none.
StorageKind SelectStorage(const StorageTarget& target);

// One storage, open for the length of one load or save. Each call handles one value of the
// list, complete before the next one is taken; `variable` points at a variable of the kind the
// tag designates (see ParameterTag). A read leaves the variable as it is when the storage does
// not hold the value, except where a storage documents otherwise. Failures of single values
// are not reported.
class ParameterStorage {
public:
    virtual ~ParameterStorage() = default;
    virtual void ReadValue(ParameterTag tag, const char* name, void* variable) = 0;
    virtual void WriteValue(ParameterTag tag, const char* name, const void* variable) = 0;

    // Ends a save after the last value. A storage that holds the values back until then stores
    // them now. False when the save may be lost, in part or whole; a storage whose single
    // writes go unreported (settings node) keeps the default, true.
    virtual bool FinishSave() { return true; }
};

// Opens the storage of a given kind for a target. Returns null when it cannot be opened: for
// the registry, a key that cannot be opened (load) or created (save).
class StorageOpener {
public:
    virtual ~StorageOpener() = default;
    virtual std::unique_ptr<ParameterStorage> OpenForLoad(StorageKind kind,
                                                          const StorageTarget& target) = 0;
    virtual std::unique_ptr<ParameterStorage> OpenForSave(StorageKind kind,
                                                          const StorageTarget& target) = 0;
};

// The storages of the module: those this build provides.
StorageOpener& ModuleStorages();

}  // namespace flanger
