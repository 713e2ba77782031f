// The module state and the switch between the caller's context and the module's.
#include "windowing/framework/module_state.h"

#include "windowing/framework/module_context_slot.h"
#include "windowing/framework/window_handle_map.h"

namespace flanger::framework {
namespace {

// The state that a scope of this module last made current on this thread. The slot may hold a
// pointer of another module or of the host, which this module must never read through; it only
// compares the slot with what it put there itself.
thread_local ModuleState* t_enteredState = nullptr;

}  // namespace

ModuleState* AfxGetStaticModuleState() noexcept {
    static ModuleState ownState;
    return &ownState;
}

ModuleState* AfxGetModuleState() noexcept {
    if (t_enteredState != nullptr && GetCurrentModuleContext() == t_enteredState) {
        return t_enteredState;
    }
    return AfxGetStaticModuleState();
}

HINSTANCE AfxGetInstanceHandle() noexcept { return AfxGetModuleState()->instanceHandle; }

HINSTANCE AfxGetResourceHandle() noexcept { return AfxGetModuleState()->resourceHandle; }

void AfxSetResourceHandle(HINSTANCE resources) noexcept {
    AfxGetModuleState()->resourceHandle = resources;
}

HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) noexcept {
    const ModuleState* const state = AfxGetModuleState();
    if (state->resourceHandle != nullptr &&
        FindResourceA(state->resourceHandle, name, type) != nullptr) {
        return state->resourceHandle;
    }
    for (HINSTANCE module : state->resourceChain) {
        if (module != nullptr && FindResourceA(module, name, type) != nullptr) return module;
    }
    return state->resourceHandle;
}

ModuleStateScope::ModuleStateScope(ModuleState* state) noexcept
    : m_previousContext(ExchangeCurrentModuleContext(state)), m_previousEntered(t_enteredState) {
    t_enteredState = state;
}

ModuleStateScope::~ModuleStateScope() {
    // Leaving the module's code for its caller: the temporary window objects of this call go.
    if (m_previousEntered == nullptr) ReleaseTemporaryObjects();
    t_enteredState = m_previousEntered;
    ExchangeCurrentModuleContext(m_previousContext);
}

}  // namespace flanger::framework
