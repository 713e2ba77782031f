// The module state switch on its own: a scope makes a state current and gives back whatever
// the caller had (another module's, the host's, none) on every way out; this module never
// takes a context it did not set for its own; the resource search goes from the current
// resource handle through the chain.
#include "platform/framework/module_state.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/user32.h"
#include "program_module_state.h"
#include "ui/own_resources.h"

namespace flanger::test {
namespace {

using framework::AfxGetModuleState;
using framework::AfxGetStaticModuleState;
using framework::ModuleState;
using framework::ModuleStateScope;

int foreignMarker = 0;

TEST(ModuleStateTest, ScopesGiveTheCallersContextBackOnEveryWayOut) {
    void* const callers[] = {nullptr, &foreignMarker};
    for (void* const caller : callers) {
        void* const saved = FlangerSetModuleContext(caller);
        ModuleState other;
        {
            ModuleStateScope outer(AfxGetStaticModuleState());
            EXPECT_EQ(FlangerGetModuleContext(), AfxGetStaticModuleState());
            EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
            try {
                ModuleStateScope inner(&other);
                EXPECT_EQ(AfxGetModuleState(), &other);
                throw std::runtime_error("leaving by an exception");
            } catch (const std::runtime_error&) {
            }
            EXPECT_EQ(FlangerGetModuleContext(), AfxGetStaticModuleState());
            EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
        }
        EXPECT_EQ(FlangerGetModuleContext(), caller);
        // Someone else's context is never read as this module's state.
        EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
        FlangerSetModuleContext(saved);
    }
}

// Inside a scope, a context someone else set on top is not taken for this module's.
TEST(ModuleStateTest, AContextSetOnTopIsNotTheModules) {
    ModuleState other;
    ModuleStateScope scope(&other);
    void* const saved = FlangerSetModuleContext(&foreignMarker);
    EXPECT_EQ(AfxGetModuleState(), AfxGetStaticModuleState());
    FlangerSetModuleContext(saved);
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
    HINSTANCE const empty = FlangerRegisterResourceModule(
        [](std::uint32_t, std::uint32_t, std::uint32_t*) -> const void* { return nullptr; });
    ASSERT_NE(empty, nullptr);
    state.resourceHandle = empty;
    EXPECT_EQ(framework::AfxFindResourceHandle(dialog, RT_DIALOG), empty);
    state.resourceChain = {empty, own};
    EXPECT_EQ(framework::AfxFindResourceHandle(dialog, RT_DIALOG), own);
    EXPECT_EQ(framework::AfxGetResourceHandle(), empty);
}

}  // namespace
}  // namespace flanger::test
