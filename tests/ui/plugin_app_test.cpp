// The application object's start-up work, in this program's own module state: the resource
// library that "Language.xml" in the current directory names becomes the current resource
// handle, and the search for the settings window's template falls back to the module's own
// resources when that library has none. Whatever goes wrong, the resources stay as they were.
#include "ui/plugin_app.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>

#include "program_module_state.h"
#include "ui/own_resources.h"
#include "windowing/framework/module_state.h"

namespace flanger::test {
namespace {

namespace fs = std::filesystem;

unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// Runs the test in a directory of its own and goes back afterwards.
class PluginAppTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        // "Language.xml" is read with MSXML, which needs COM on the calling thread; InitInstance
        // leaves that to its caller (in the module, the start-up).
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
#endif
        StartProgramAsTheModule();
        ownResources = ui::OwnResourceModule();
        ASSERT_EQ(framework::AfxGetResourceHandle(), ownResources);
        home = fs::current_path();
        directory = fs::temp_directory_path() /
                    ("flanger_plugin_app_" + std::to_string(ProcessId()) + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory);
        fs::current_path(directory);
    }
    void TearDown() override {
        fs::current_path(home);
        fs::remove_all(directory);
        framework::AfxSetResourceHandle(ownResources);
#ifdef _WIN32
        CoUninitialize();
#endif
    }

    void WriteLanguageFile(const std::string& text) {
        std::ofstream(directory / "Language.xml") << text;
    }

    HINSTANCE ownResources = nullptr;
    fs::path home;
    fs::path directory;
};

const char* const kLibraryWithoutResources = FLANGER_LIBRARY_WITHOUT_RESOURCES;

TEST_F(PluginAppTest, LeavesTheOwnResourcesWhenNothingUsableIsNamed) {
    struct Case {
        const char* name;
        const char* file;  // null: no Language.xml
    };
    const Case cases[] = {
        {"no file", nullptr},
        {"not well-formed", "<Language Path=\"x\""},
        {"no Path attribute", "<Language File=\"/lib/x.so\"/>"},
        {"a library that does not exist", "<Language Path=\"/nonexistent/Plugin_xx.so\"/>"},
        {"an empty path", "<Language Path=\"\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(directory / "Language.xml");
        if (c.file != nullptr) WriteLanguageFile(c.file);
        ui::PluginApp app;
        EXPECT_EQ(app.InitInstance(), TRUE);
        EXPECT_EQ(framework::AfxGetResourceHandle(), ownResources);
    }
}

// The attribute's name in any letter case; the library has no dialog 22802, so the template
// search goes on to the module's own resources.
TEST_F(PluginAppTest, InstallsTheNamedLibraryAndFallsBackToTheOwnTemplate) {
    WriteLanguageFile(std::string("<Sprache PATH=\"") + kLibraryWithoutResources + "\"/>");
    ui::PluginApp app;
    EXPECT_EQ(app.InitInstance(), TRUE);
    HINSTANCE const library = LoadLibraryA(kLibraryWithoutResources);
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(framework::AfxGetResourceHandle(), library);
    EXPECT_EQ(framework::AfxFindResourceHandle(MAKEINTRESOURCEA(22802), RT_DIALOG), ownResources);
}

}  // namespace
}  // namespace flanger::test
