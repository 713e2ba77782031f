// Loading the module and the settings window fixture.
#include "plugin_settings_window.h"

#ifndef _WIN32
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#endif

namespace flanger::test {
namespace {

#ifdef _WIN32
// LoadLibraryA and GetProcAddress, as a Windows host does.
void* OpenModule() { return LoadLibraryA(FLANGER_PLUGIN_PATH); }
void* FindExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
std::string LoadError() {
    return "LoadLibraryA failed with error " + std::to_string(GetLastError());
}
#else
void* OpenModule() { return dlopen(FLANGER_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL); }
void* FindExport(void* module, const char* name) { return dlsym(module, name); }
std::string LoadError() {
    const char* const reason = dlerror();
    return reason != nullptr ? reason : "dlopen failed";
}
#endif

SettingsWindowExports Load() {
    SettingsWindowExports exports;
    void* const module = OpenModule();
    if (module == nullptr) {
        exports.error = LoadError();
        return exports;
    }
    exports.initialize =
        reinterpret_cast<decltype(exports.initialize)>(FindExport(module, "Initialize"));
    exports.free = reinterpret_cast<decltype(exports.free)>(FindExport(module, "Free"));
    exports.createSettingsWindow = reinterpret_cast<decltype(exports.createSettingsWindow)>(
        FindExport(module, "CreateSettingsWindow"));
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
#ifndef _WIN32
    // The X11 run must not pass headless for want of a display.
    if (const char* backend = std::getenv("FLANGER_WINDOW_BACKEND")) {
        ASSERT_TRUE(std::strcmp(backend, "x11") != 0 || FlangerOpenDisplay(nullptr));
    }
#endif
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
