// Modules and resources as the plug-in uses them: resource libraries opened with LoadLibraryA,
// a module's compiled-in resources, lookups by integer name and type; and the per-thread slots
// (module context, last error).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <thread>

#include "windowing/user32.h"

namespace flanger::platform::test {
namespace {

TEST(ResourceModuleTest, ALibrarysResourcesAreFoundByIntegerNameAndType) {
    const HMODULE library = LoadLibraryA(FLANGER_TEST_RESOURCE_LIBRARY);
    ASSERT_NE(library, nullptr);
    const struct {
        LPCSTR name;
        LPCSTR type;
        DWORD size;  // 0: not found
        unsigned char first, last;
        DWORD error;
    } cases[] = {
        {MAKEINTRESOURCEA(100), RT_DIALOG, 8, 1, 8, 0},
        {MAKEINTRESOURCEA(101), RT_DIALOG, 4, 9, 12, 0},
        {MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(6), 2, 0xAB, 0xCD, 0},
        {MAKEINTRESOURCEA(102), RT_DIALOG, 0, 0, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(6), 0, 0, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
        {"DIALOG100", RT_DIALOG, 0, 0, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEA(100), "DIALOG", 0, 0, 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(IS_INTRESOURCE(c.name) ? std::to_string(LOWORD(c.name)) : c.name);
        SetLastError(0);
        const HRSRC resource = FindResourceA(library, c.name, c.type);
        if (c.size == 0) {
            EXPECT_EQ(resource, nullptr);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_NE(resource, nullptr);
        EXPECT_EQ(FindResourceA(library, c.name, c.type), resource);  // the same handle again
        EXPECT_EQ(SizeofResource(library, resource), c.size);
        const auto* bytes =
            static_cast<const unsigned char*>(LockResource(LoadResource(library, resource)));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(bytes[0], c.first);
        EXPECT_EQ(bytes[c.size - 1], c.last);
    }
    EXPECT_TRUE(FreeLibrary(library));
}

TEST(ResourceModuleTest, TheSameFileGivesTheSameHandleUntilItsLastFree) {
    const HMODULE first = LoadLibraryA(FLANGER_TEST_RESOURCE_LIBRARY);
    const HMODULE second = LoadLibraryA(FLANGER_TEST_RESOURCE_LIBRARY);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    const HRSRC resource = FindResourceA(first, MAKEINTRESOURCEA(100), RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(FindResourceA(first, MAKEINTRESOURCEA(100), RT_DIALOG), nullptr);
    EXPECT_TRUE(FreeLibrary(first));
    // Gone: the module and its resource handles fail softly, and the handle is not reused.
    EXPECT_EQ(FindResourceA(first, MAKEINTRESOURCEA(100), RT_DIALOG), nullptr);
    EXPECT_EQ(LoadResource(first, resource), nullptr);
    EXPECT_EQ(SizeofResource(first, resource), 0u);
    EXPECT_FALSE(FreeLibrary(first));
    const HMODULE again = LoadLibraryA(FLANGER_TEST_RESOURCE_LIBRARY);
    ASSERT_NE(again, nullptr);
    EXPECT_NE(again, first);
    EXPECT_TRUE(FreeLibrary(again));
}

TEST(ResourceModuleTest, LibrariesWithoutResourcesOrWithoutAFileAreToldApart) {
    const HMODULE plain = LoadLibraryA(FLANGER_TEST_PLAIN_LIBRARY);
    ASSERT_NE(plain, nullptr);
    SetLastError(0);
    EXPECT_EQ(FindResourceA(plain, MAKEINTRESOURCEA(100), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(plain));

    for (const char* name : {"/nonexistent/Plugin_xx.so", "", FLANGER_TEST_SOURCE_FILE}) {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << name;
    }
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

const unsigned char kCompiledIn[4] = {0x11, 0x22, 0x33, 0x44};

const void* FindCompiledIn(uint32_t type, uint32_t name, uint32_t* size) {
    if (type == FLANGER_RESOURCE_TYPE_DIALOG && name == FLANGER_SETTINGS_DIALOG_ID) {
        *size = sizeof kCompiledIn;
        return kCompiledIn;
    }
    return nullptr;
}

TEST(ResourceModuleTest, CompiledInResourcesGetAModuleHandleOfTheirOwn) {
    const HMODULE module = FlangerRegisterResourceModule(FindCompiledIn);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(FlangerRegisterResourceModule(FindCompiledIn), module);
    EXPECT_EQ(FlangerRegisterResourceModule(nullptr), nullptr);
    const HRSRC resource =
        FindResourceA(module, MAKEINTRESOURCEA(FLANGER_SETTINGS_DIALOG_ID), RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    EXPECT_EQ(SizeofResource(module, resource), 4u);
    EXPECT_EQ(LockResource(LoadResource(module, resource)), static_cast<const void*>(kCompiledIn));
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(22803), RT_DIALOG), nullptr);
    EXPECT_FALSE(FreeLibrary(module));  // it stays until the process ends
}

// A module that registered its resources and a window class is unloaded: its window on the
// unloading thread gets its last message before the module goes, one on another thread lives on
// with the default procedure, and neither the class nor the resources can be found any more.
TEST(ResourceModuleTest, UnregisteringAnUnloadedModuleLeavesNothingThatLeadsIntoIt) {
    void* const library = dlopen(FLANGER_TEST_PLAIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    const HMODULE module = FlangerRegisterResourceModule(
        reinterpret_cast<FlangerFindResourceFunction>(dlsym(library, "FlangerTestFindResource")));
    const HRSRC counter = FindResourceA(module, MAKEINTRESOURCEA(100), RT_DIALOG);
    const auto* destroyed = static_cast<const int*>(LockResource(LoadResource(module, counter)));
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = reinterpret_cast<WNDPROC>(dlsym(library, "FlangerTestProcedure"));
    windowClass.hInstance = module;
    windowClass.lpszClassName = "UnloadedModuleClass";
    ASSERT_TRUE(destroyed != nullptr && RegisterClassA(&windowClass) != 0);
    const auto create = [module] {
        return CreateWindowExA(0, "UnloadedModuleClass", "", 0, 0, 0, 9, 9, nullptr, nullptr,
                               module, nullptr);
    };
    const HWND own = create();
    std::promise<void> created;
    std::promise<void> unloaded;
    char text[32] = {};
    std::thread other([&] {
        const HWND window = create();
        created.set_value();
        unloaded.get_future().wait();
        SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("default handling"));
        GetWindowTextA(window, text, sizeof text);
        DestroyWindow(window);
    });
    created.get_future().wait();
    EXPECT_TRUE(FlangerUnregisterResourceModule(module));
    EXPECT_EQ(*destroyed, 1);
    EXPECT_FALSE(IsWindow(own));
    EXPECT_EQ(dlclose(library), 0);
    unloaded.set_value();
    other.join();
    EXPECT_STREQ(text, "default handling");
    EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(100), RT_DIALOG), nullptr);
    EXPECT_EQ(create(), nullptr) << "the class is still registered";
    EXPECT_FALSE(FlangerUnregisterResourceModule(module));
}

TEST(ResourceModuleTest, ModuleContextAndLastErrorBelongToTheThread) {
    int mine = 0;
    int theirs = 0;
    EXPECT_EQ(FlangerSetModuleContext(&mine), nullptr);
    SetLastError(1234);
    std::thread other([&] {
        EXPECT_EQ(FlangerGetModuleContext(), nullptr);
        EXPECT_EQ(GetLastError(), 0u);
        EXPECT_EQ(FlangerSetModuleContext(&theirs), nullptr);
        SetLastError(99);
        EXPECT_EQ(FlangerGetModuleContext(), &theirs);
    });
    other.join();
    EXPECT_EQ(FlangerGetModuleContext(), &mine);
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_EQ(FlangerSetModuleContext(nullptr), &mine);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&controls));
    controls.dwSize = 0;
    EXPECT_FALSE(InitCommonControlsEx(&controls));
}

}  // namespace
}  // namespace flanger::platform::test
