// The start-up sequence of a module written in the framework.
#include "platform/framework/module_startup.h"

#include "platform/framework/module_state.h"
#include "platform/framework/win_app.h"

namespace flanger::framework {

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

}  // namespace flanger::framework
