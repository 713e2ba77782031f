// PluginApp: the module's application object. Its one job at start-up is the choice of the
// settings window's resources: the resource library that "Language.xml" names, if any.
#pragma once

#include "platform/framework/win_app.h"
#include "platform/user32.h"

namespace flanger::ui {

class PluginApp : public framework::CWinApp {
public:
    // Reads "Language.xml" from the current directory (the host process's), takes the root
    // element's attribute "Path" (any letter case) and loads the library it names; when that
    // succeeds, the library becomes the current resource handle, searched before the module's
    // own resources. The library is never released. Any failure (no file, not well-formed, no
    // attribute, a library that does not load, the XML parser failing as a component) leaves
    // the resources as they were. Returns CWinApp::InitInstance's result, TRUE.
    BOOL InitInstance() override;
};

}  // namespace flanger::ui
