// Choosing the storage of a load or save, and the storages this module is built with.
#include "persistence/parameter_storage.h"

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

    static std::unique_ptr<ParameterStorage> Open(StorageKind kind,
                                                  [[maybe_unused]] const StorageTarget& target,
                                                  [[maybe_unused]] Purpose purpose) {
        // One line per kind: return that kind's storage opened on `target` for `purpose`.
        // No storage is built into the module yet, so every kind still reports "cannot open".
        switch (kind) {
            case StorageKind::SettingsNode:
                return nullptr;
            case StorageKind::Registry:
                return nullptr;
            case StorageKind::ProfileFile:
                return nullptr;
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
