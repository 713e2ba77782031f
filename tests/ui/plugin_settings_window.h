// The built module as a host loads it for its settings window: dlopen, and the exports looked
// up by name. A fixture holds a record from Initialize, the host's parent window and the
// settings window made over them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "flanger_plugin.h"
#include "host_parent_window.h"
#include "settings_window_view.h"
#include "windowing/user32.h"

namespace flanger::test {

struct SettingsWindowExports {
    decltype(&::Initialize) initialize = nullptr;
    decltype(&::Free) free = nullptr;
    decltype(&::CreateSettingsWindow) createSettingsWindow = nullptr;
    std::string error;  // empty when the module loaded and the exports resolved
};

// Loads the module once per process and keeps it loaded.
const SettingsWindowExports& LoadSettingsWindowExports();

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Destroys the parent (and with it the settings window) before the record goes back.
    void TearDown() override;

    // Writes `parameters` into the record and creates the settings window over it.
    HWND OpenWindow(const Parameters& parameters);

    HWND Control(int id) const { return GetDlgItem(window, id); }

    const SettingsWindowExports* module = nullptr;
    HostParentWindow parent;
    EffectSettings* record = nullptr;
    HWND window = nullptr;
};

}  // namespace flanger::test
