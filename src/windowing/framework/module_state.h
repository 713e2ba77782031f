// The module state: whose code is running, where that module's resources are found, and its
// application object.
//
// Each module built with this framework (the plug-in, a test program) has one state of its own,
// AfxGetStaticModuleState(). Code that the host calls into makes it current with a
// ModuleStateScope, so that resource lookups, window classes and the application object are the
// module's and not the caller's; the caller's context comes back when the scope ends, also when
// an exception passes through.
//
// Threading: the current state is per thread. The fields are written during the module's
// start-up (before any export can run) and read afterwards.
#pragma once

#include <vector>

#include "windowing/user32.h"

namespace flanger::framework {

class CWinApp;

struct ModuleState {
    // The module's own resources (on Linux the handle its registered resource function got).
    HINSTANCE instanceHandle = nullptr;
    // Searched first: a resource library chosen at start-up, else the module's own resources.
    HINSTANCE resourceHandle = nullptr;
    // Searched after resourceHandle, in order: the module's own resources once start-up has
    // entered them.
    std::vector<HINSTANCE> resourceChain;
    // The module's single application object, null when it has none.
    CWinApp* currentApp = nullptr;
};

// This module's own state.
ModuleState* AfxGetStaticModuleState() noexcept;

// The state current on this thread: the one a ModuleStateScope of this module made current, or
// this module's own state when none is in force (the slot then belongs to someone else).
ModuleState* AfxGetModuleState() noexcept;

HINSTANCE AfxGetInstanceHandle() noexcept;
HINSTANCE AfxGetResourceHandle() noexcept;
void AfxSetResourceHandle(HINSTANCE resources) noexcept;

// The module that holds resource `name` of type `type`: the current resource handle when it
// does, else the first module of the resource chain that does; the current resource handle when
// none does (a lookup there then fails as it would have).
HINSTANCE AfxFindResourceHandle(LPCSTR name, LPCSTR type) noexcept;

// Makes `state` the current module state of this thread for the scope's lifetime and restores
// the caller's context (whatever it was, also another module's or the host's) at its end.
// Scopes nest; when the outermost scope of the thread ends, the temporary window objects made
// inside it are released (see CWnd::FromHandle).
class ModuleStateScope {
public:
    explicit ModuleStateScope(ModuleState* state) noexcept;
    ~ModuleStateScope();
    ModuleStateScope(const ModuleStateScope&) = delete;
    ModuleStateScope& operator=(const ModuleStateScope&) = delete;

private:
    void* m_previousContext;
    ModuleState* m_previousEntered;
};

}  // namespace flanger::framework
