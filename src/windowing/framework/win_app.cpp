// The application object's registration in the module state.
#include "windowing/framework/win_app.h"

#include "windowing/framework/module_state.h"

namespace flanger::framework {

CWinApp::CWinApp() noexcept { AfxGetStaticModuleState()->currentApp = this; }

CWinApp::~CWinApp() {
    ModuleState* const state = AfxGetStaticModuleState();
    if (state->currentApp == this) state->currentApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

CWinApp* AfxGetApp() noexcept { return AfxGetModuleState()->currentApp; }

}  // namespace flanger::framework
