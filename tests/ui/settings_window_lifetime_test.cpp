// The settings window's life as the host ends it: destroying the window or its parent ends the
// window, its controls and everything the module made for it (the sanitizer build reports any
// object left behind or touched afterwards), leaves the record alone, and keeps the parent.
#include <gtest/gtest.h>

#include <vector>

#include "plugin_settings_window.h"

namespace flanger::test {
namespace {

std::vector<HWND> Children(HWND window) {
    std::vector<HWND> children;
    for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        children.push_back(c);
    }
    return children;
}

TEST_F(SettingsWindowTest, EndsWithTheWindowOrItsParent) {
    struct EndCase {
        const char* name;
        bool destroyParent;
    };
    for (const EndCase& c : {EndCase{"window", false}, EndCase{"parent", true}}) {
        SCOPED_TRACE(c.name);
        HostParentWindow host;
        ASSERT_NE(host.Handle(), nullptr);
        const Parameters edited = {33, 44, 55, 1, -66, 77};
        SetParameters(*record, edited);
        HWND const settings = module->createSettingsWindow(host.Handle(), record);
        ASSERT_NE(settings, nullptr);
        const std::vector<HWND> controls = Children(settings);
        ASSERT_EQ(controls.size(), 17u);

        EXPECT_TRUE(DestroyWindow(c.destroyParent ? host.Handle() : settings));
        EXPECT_FALSE(IsWindow(settings));
        for (HWND control : controls) EXPECT_FALSE(IsWindow(control));
        EXPECT_EQ(IsWindow(host.Handle()), c.destroyParent ? FALSE : TRUE);
        if (!c.destroyParent) {
            EXPECT_TRUE(Children(host.Handle()).empty());
        }
        EXPECT_EQ(ParametersOf(*record), edited);
        EXPECT_TRUE(host.TakeCommands().empty());
    }
}

// Windows come and go many times over one record; each one's objects go with it.
TEST_F(SettingsWindowTest, ManyWindowsComeAndGo) {
    for (int i = 0; i < 50; ++i) {
        HWND const settings = module->createSettingsWindow(parent.Handle(), record);
        ASSERT_NE(settings, nullptr);
        if (i % 2 == 0) SendMessageA(GetDlgItem(settings, kSineCheck), BM_CLICK, 0, 0);
        ASSERT_TRUE(DestroyWindow(settings));
    }
    EXPECT_TRUE(Children(parent.Handle()).empty());
    EXPECT_EQ(parent.TakeCommands().size(), 25u);
    EXPECT_EQ(record->Sine, 1);
}

// What a host may get wrong is refused without a window and without a trace.
TEST_F(SettingsWindowTest, RefusesWhatIsNotAParentOrARecord) {
    HostParentWindow gone;
    HWND const destroyed = gone.Handle();
    DestroyWindow(destroyed);
    EXPECT_EQ(module->createSettingsWindow(nullptr, record), nullptr);
    EXPECT_EQ(module->createSettingsWindow(destroyed, record), nullptr);
    EXPECT_EQ(module->createSettingsWindow(parent.Handle(), nullptr), nullptr);
    EXPECT_TRUE(Children(parent.Handle()).empty());
    EXPECT_EQ(ParametersOf(*record), kDefaults);
}

}  // namespace
}  // namespace flanger::test
