// The start-up sequence of a module written in the framework.
#include "windowing/framework/module_startup.h"

#include <mutex>

#include "windowing/framework/module_state.h"
#include "windowing/framework/startup_apartment.h"
#include "windowing/framework/win_app.h"

namespace flanger::framework {
namespace {

// Written during static initialisation, before any export can run; read afterwards.
HINSTANCE (*g_deferredOwnResources)() noexcept = nullptr;

// The start-up put off past the load, on whichever thread runs it.
void RunDeferredStartup() noexcept { AfxInitializeModule(g_deferredOwnResources()); }

}  // namespace

void AfxInitializeModule(HINSTANCE ownResources) noexcept {
    ModuleState* const state = AfxGetStaticModuleState();
    ModuleStateScope scope(state);
    state->instanceHandle = ownResources;
    state->resourceHandle = ownResources;
    try {
        if (CWinApp* app = AfxGetApp()) app->InitInstance();
    } catch (...) {
        // The module starts with whatever resources InitInstance had installed.
    }
    try {
        state->resourceChain.push_back(ownResources);
    } catch (...) {
        // Out of memory this early: lookups still find the own resources while no resource
        // library replaced them.
    }
}

void AfxTerminateModule(void (*releaseOwnResources)(HINSTANCE) noexcept) noexcept {
    ModuleState* const state = AfxGetStaticModuleState();
    if (state->instanceHandle != nullptr) releaseOwnResources(state->instanceHandle);
    state->resourceChain.clear();
    state->resourceHandle = nullptr;
    state->instanceHandle = nullptr;
}

void AfxDeferModuleInitialization(HINSTANCE (*ownResources)() noexcept) noexcept {
    g_deferredOwnResources = ownResources;
}

void AfxEnsureModuleInitialized() noexcept {
    if (g_deferredOwnResources == nullptr) return;
    static std::once_flag started;
    try {
        std::call_once(started, [] { RunInStartupApartment(&RunDeferredStartup); });
    } catch (...) {
        // call_once itself could not run (no thread support left): the next entry tries again.
    }
}

}  // namespace flanger::framework
