// PluginApp: the module's application object. Its one job at start-up is the choice of the
// settings window's resources: the resource library that "Language.xml" names, if any.
#pragma once

#include <string>

#include "windowing/framework/win_app.h"
#include "windowing/user32.h"

namespace flanger::ui {

class PluginApp : public framework::CWinApp {
public:
    // Reads "Language.xml" from the language directory (see SetLanguageDirectory), takes the
    // root element's attribute "Path" (any letter case) and loads the library it names; when
    // that succeeds, the library becomes the current resource handle, searched before the
    // module's own resources. The library is never released. Any failure (no file, not
    // well-formed, no attribute, a library that does not load, the XML parser failing as a
    // component) leaves the resources as they were. Returns CWinApp::InitInstance's result, TRUE.
    BOOL InitInstance() override;

    // The directory "Language.xml" is read from, as a path ending in its separator. By default
    // none: the bare name, resolved against the host process's current directory when
    // InitInstance runs, which is the directory current at load where the start-up runs while
    // the module loads. A module that starts up later names the directory that was current at
    // load here, while it loads.
    void SetLanguageDirectory(std::string directory) noexcept;

private:
    std::string m_languageDirectory;
};

}  // namespace flanger::ui
