// The module state switch on its own: a scope makes a state current and gives back whatever
// the caller had (another module's, the host's, none) on every way out; this module never
// takes a context it did not set for its own; the resource search goes from the current
// resource handle through the chain.
#include "windowing/framework/module_state.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>

#include "program_module_state.h"
#include "ui/own_resources.h"
#include "windowing/framework/module_context_slot.h"
#include "windowing/user32.h"

namespace flanger::test {
namespace {

using framework::AfxGetModuleState;
using framework::AfxGetStaticModuleState;
using framework::ModuleState;
using framework::ModuleStateScope;

int foreignMarker = 0;

// The thread's module-context slot as a caller outside this module sees it: on Linux the
// windowing layer's, which the host shares; on Windows the module's own thread-local slot.
void* SetContext(void* context) {
#ifdef _WIN32
    return framework::ExchangeCurrentModuleContext(context);
#else
    return FlangerSetModuleContext(context);
#endif
}

void* CurrentContext() {
#ifdef _WIN32
    return framework::GetCurrentModuleContext();
#else
    return FlangerGetModuleContext();
#endif
}

// A loaded module whose resources hold no dialog 22802.
HINSTANCE ModuleWithoutTheTemplate() {
#ifdef _WIN32
    return LoadLibraryA("version.dll");
#else
    return FlangerRegisterResourceModule(
        [](std::uint32_t, std::uint32_t, std::uint32_t*) -> const void* { return nullptr; });
#endif
}

TEST(ModuleStateTest, ScopesGiveTheCallersContextBackOnEveryWayOut) {
    void* const callers[] = {nullptr, &foreignMarker};
    for (void* const caller : callers) {
        void* const saved = SetContext(caller);
        ModuleState other;
        {
            ModuleStateScope outer(AfxGetStaticModuleState());
            EXPECT_EQ(CurrentContext(), AfxGetStaticModuleState());
            EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
            try {
                ModuleStateScope inner(&other);
                EXPECT_EQ(AfxGetModuleState(), &other);
                throw std::runtime_error("leaving by an exception");
            } catch (const std::runtime_error&) {
            }
            EXPECT_EQ(CurrentContext(), AfxGetStaticModuleState());
            EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
        }
        EXPECT_EQ(CurrentContext(), caller);
        // Someone else's context is never read as this module's state.
        EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
        SetContext(saved);
    }
}

// Inside a scope, a context someone else set on top is not taken for this module's.
TEST(ModuleStateTest, AContextSetOnTopIsNotTheModules) {
    ModuleState other;
    ModuleStateScope scope(&other);
    void* const saved = SetContext(&foreignMarker);
    EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
    SetContext(saved);
    EXPECT_EQ(AfxGetModuleState(), &other);
}

TEST(ModuleStateTest, ResourceSearchTriesTheCurrentHandleThenTheChain) {
    StartProgramAsTheModule();
    HINSTANCE const own = ui::OwnResourceModule();
    LPCSTR const dialog = MAKEINTRESOURCEA(22802);
    ModuleState state;
    ModuleStateScope scope(&state);
    EXPECT_EQ(framework::AfxFindResourceHandle(dialog, RT_DIALOG), nullptr);
    state.resourceHandle = own;
    EXPECT_EQ(framework::AfxFindResourceHandle(dialog, RT_DIALOG), own);
    EXPECT_EQ(framework::AfxFindResourceHandle(MAKEINTRESOURCEA(1), RT_DIALOG), own);
    // A current handle without the resource: the chain answers.
    HINSTANCE const empty = ModuleWithoutTheTemplate();
    ASSERT_NE(empty, nullptr);
    state.resourceHandle = empty;
    EXPECT_EQ(framework::AfxFindResourceHandle(dialog, RT_DIALOG), empty);
    state.resourceChain = {empty, own};
    EXPECT_EQ(framework::AfxFindResourceHandle(dialog, RT_DIALOG), own);
    EXPECT_EQ(framework::AfxGetResourceHandle(), empty);
}

}  // namespace
}  // namespace flanger::test
