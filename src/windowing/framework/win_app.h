// CWinApp: the module's application object. A module defines at most one, as a static object;
// constructing it makes it the module's application (AfxGetApp), and the module's start-up
// calls its InitInstance once (see module_startup.h).
#pragma once

#include "windowing/user32.h"

namespace flanger::framework {

class CWinApp {
public:
    CWinApp() noexcept;
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The module's own initialisation, at start-up. The default does nothing and returns TRUE.
    virtual BOOL InitInstance();
};

// The application object of the current module state, or null.
CWinApp* AfxGetApp() noexcept;

}  // namespace flanger::framework
