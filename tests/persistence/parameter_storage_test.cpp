// The storages this module is built with.
#include "persistence/parameter_storage.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace flanger {
namespace {

int registryRootStandIn = 0;
alignas(std::max_align_t) unsigned char documentStandIn[16];

// No storage is built in yet: every kind must report "cannot open", so the driver loads nothing
// and the registry save reports failure. Each case becomes a real open when its storage arrives.
TEST(ModuleStoragesTest, EveryKindCannotBeOpenedYet) {
    const struct {
        StorageKind kind;
        StorageTarget target;
    } cases[] = {
        {StorageKind::SettingsNode, {.document = reinterpret_cast<SettingsNode*>(documentStandIn)}},
        {StorageKind::Registry, {.section = "Software\\Flanger", .rootKey = &registryRootStandIn}},
        {StorageKind::ProfileFile, {.fileName = "presets.ini", .section = "Flanger"}},
        {StorageKind::None, {}},
    };
    StorageOpener& storages = ModuleStorages();
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        EXPECT_EQ(storages.OpenForLoad(c.kind, c.target), nullptr);
        EXPECT_EQ(storages.OpenForSave(c.kind, c.target), nullptr);
    }
}

}  // namespace
}  // namespace flanger
