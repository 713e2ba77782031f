// Choosing the storage of a load or save, and the storages this module is built with.
#include "persistence/parameter_storage.h"

#include "persistence/profile_storage.h"
#include "persistence/registry_storage.h"
#include "persistence/settings_node_storage.h"

namespace flanger {

StorageKind SelectStorage(const StorageTarget& target) {
    if (target.document != nullptr) {
        return StorageKind::SettingsNode;
    }
    if (target.rootKey != nullptr) {
        return StorageKind::Registry;
    }
    if (target.fileName != nullptr) {
        return StorageKind::ProfileFile;
    }
    return StorageKind::None;
}

namespace {

// Hands out the storage of each kind this build has. A kind without a storage yields null, which
// the driver treats as a storage that cannot be opened.
class ModuleStorageOpener final : public StorageOpener {
public:
    std::unique_ptr<ParameterStorage> OpenForLoad(StorageKind kind,
                                                  const StorageTarget& target) override {
        return Open(kind, target, Purpose::Load);
    }

    std::unique_ptr<ParameterStorage> OpenForSave(StorageKind kind,
                                                  const StorageTarget& target) override {
        return Open(kind, target, Purpose::Save);
    }

private:
    enum class Purpose { Load, Save };

    static std::unique_ptr<ParameterStorage> Open(StorageKind kind, const StorageTarget& target,
                                                  Purpose purpose) {
        // One line per kind: return that kind's storage opened on `target` for `purpose`.
        switch (kind) {
            case StorageKind::SettingsNode:
                // Loading only reads the node and saving only adds to it; the same storage
                // serves both.
                return SettingsNodeStorage::Open(target.document);
            case StorageKind::Registry:
                if (purpose == Purpose::Load) {
                    return RegistryStorage::OpenForLoad(target.rootKey, target.section);
                }
                return RegistryStorage::OpenForSave(target.rootKey, target.section);
            case StorageKind::ProfileFile:
                return ProfileStorage::Open(target.fileName, target.section);
            case StorageKind::None:
                return nullptr;
        }
        return nullptr;
    }
};

}  // namespace

StorageOpener& ModuleStorages() {
    // Stateless, so one instance serves every thread; a function-local static is built on first
    // use and needs no registration order with other translation units.
    static ModuleStorageOpener storages;
    return storages;
}

}  // namespace flanger
