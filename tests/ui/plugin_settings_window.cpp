// Loading the module and the settings window fixture.
#include "plugin_settings_window.h"

#include <dlfcn.h>

namespace flanger::test {
namespace {

SettingsWindowExports Load() {
    SettingsWindowExports exports;
    void* const module = dlopen(FLANGER_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* const reason = dlerror();
        exports.error = reason != nullptr ? reason : "dlopen failed";
        return exports;
    }
    exports.initialize =
        reinterpret_cast<decltype(exports.initialize)>(dlsym(module, "Initialize"));
    exports.free = reinterpret_cast<decltype(exports.free)>(dlsym(module, "Free"));
    exports.createSettingsWindow = reinterpret_cast<decltype(exports.createSettingsWindow)>(
        dlsym(module, "CreateSettingsWindow"));
    if (exports.initialize == nullptr || exports.free == nullptr ||
        exports.createSettingsWindow == nullptr) {
        exports.error = "an export is missing";
    }
    return exports;
}

}  // namespace

const SettingsWindowExports& LoadSettingsWindowExports() {
    static const SettingsWindowExports exports = Load();
    return exports;
}

void SettingsWindowTest::SetUp() {
    module = &LoadSettingsWindowExports();
    ASSERT_TRUE(module->error.empty()) << module->error;
    ASSERT_NE(parent.Handle(), nullptr);
    ASSERT_EQ(module->initialize(nullptr, nullptr, nullptr, &record), 1);
    ASSERT_NE(record, nullptr);
}

void SettingsWindowTest::TearDown() {
    if (IsWindow(parent.Handle())) DestroyWindow(parent.Handle());
    DispatchPendingMessages();
    if (record != nullptr) module->free(record);
}

HWND SettingsWindowTest::OpenWindow(const Parameters& parameters) {
    SetParameters(*record, parameters);
    window = module->createSettingsWindow(parent.Handle(), record);
    return window;
}

}  // namespace flanger::test
