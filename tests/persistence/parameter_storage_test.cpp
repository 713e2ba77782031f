// The storages this module is built with: which kind opens which storage, and when a kind
// reports that it cannot be opened.
#include "persistence/parameter_storage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "persistence/profile_storage.h"
#include "persistence/registry_storage.h"
#include "persistence/settings_node_storage.h"
#include "platform/registry.h"
#include "storage_test_support.h"

namespace flanger {
namespace {

enum class Opens { Nothing, Node, Profile, Registry };

const char* OpensText(Opens opens) {
    switch (opens) {
        case Opens::Nothing:
            return "nothing";
        case Opens::Node:
            return "a settings node storage";
        case Opens::Profile:
            return "a profile storage";
        case Opens::Registry:
            return "a registry storage";
    }
    return "?";
}

Opens WhatOpened(const ParameterStorage* storage) {
    if (storage == nullptr) return Opens::Nothing;
    if (dynamic_cast<const SettingsNodeStorage*>(storage) != nullptr) return Opens::Node;
    if (dynamic_cast<const ProfileStorage*>(storage) != nullptr) return Opens::Profile;
    if (dynamic_cast<const RegistryStorage*>(storage) != nullptr) return Opens::Registry;
    ADD_FAILURE() << "a storage of an unknown class";
    return Opens::Nothing;
}

// A settings node always opens, for loading and saving alike. A registry key opens for loading
// only when it exists, and for saving when it can be created; a profile section always opens,
// since its file is only touched value by value.
TEST(ModuleStoragesTest, EachKindOpensItsStorage) {
    test::TemporaryDirectory directory;
    const test::PrivateRegistry registry(directory);
    const std::string file = directory.File("presets.ini");
    SettingsNode node;
    const FlangerRegistryKey invalidRoot =
        reinterpret_cast<FlangerRegistryKey>(std::uintptr_t{0x1234});
    const struct {
        const char* label;
        StorageKind kind;
        StorageTarget target;
        Opens forLoad;
        Opens forSave;
    } cases[] = {
        {"settings node", StorageKind::SettingsNode, {.document = &node}, Opens::Node, Opens::Node},
        {"settings node kind without a node",
         StorageKind::SettingsNode,
         {},
         Opens::Nothing,
         Opens::Nothing},
        // Saving creates the key, so the load after it finds it.
        {"registry key",
         StorageKind::Registry,
         {.section = "Software\\Flanger", .rootKey = FLANGER_HKEY_CURRENT_USER},
         Opens::Nothing,
         Opens::Registry},
        {"registry key after a save",
         StorageKind::Registry,
         {.section = "Software\\Flanger", .rootKey = FLANGER_HKEY_CURRENT_USER},
         Opens::Registry,
         Opens::Registry},
        {"invalid registry root",
         StorageKind::Registry,
         {.section = "Software\\Flanger", .rootKey = invalidRoot},
         Opens::Nothing,
         Opens::Nothing},
        {"profile file",
         StorageKind::ProfileFile,
         {.fileName = file.c_str(), .section = "Flanger"},
         Opens::Profile,
         Opens::Profile},
        {"profile file without section",
         StorageKind::ProfileFile,
         {.fileName = file.c_str()},
         Opens::Nothing,
         Opens::Nothing},
        {"none", StorageKind::None, {}, Opens::Nothing, Opens::Nothing},
    };
    StorageOpener& storages = ModuleStorages();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_STREQ(OpensText(WhatOpened(storages.OpenForLoad(c.kind, c.target).get())),
                     OpensText(c.forLoad));
        EXPECT_STREQ(OpensText(WhatOpened(storages.OpenForSave(c.kind, c.target).get())),
                     OpensText(c.forSave));
    }
    EXPECT_FALSE(test::ReadFileBytes(file).has_value()) << "opening wrote the profile file";
}

}  // namespace
}  // namespace flanger
