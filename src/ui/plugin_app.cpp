// The resource language selection at start-up.
#include "ui/plugin_app.h"

#include <memory>
#include <string>
#include <utility>

#include "flanger_settings_node.h"
#include "platform/xml_document.h"
#include "windowing/framework/module_state.h"

namespace flanger::ui {
namespace {

constexpr char kLanguageFile[] = "Language.xml";
constexpr char kPathAttribute[] = "Path";

void SelectResourceLibrary(const std::string& directory) {
    const auto document = std::make_unique<SettingsNode>();
    // Without a directory in front, the name is resolved against the host's current directory.
    if (!document->LoadFromFile((directory + kLanguageFile).c_str())) return;
    std::string path;
    if (!document->GetAttribute(kPathAttribute, path)) return;
    if (HMODULE library = LoadLibraryA(path.c_str())) framework::AfxSetResourceHandle(library);
}

}  // namespace

BOOL PluginApp::InitInstance() {
    try {
        SelectResourceLibrary(m_languageDirectory);
    } catch (const platform::XmlParserError&) {
        // The XML parser failed as a component: the module's own resources stay in force.
    } catch (...) {
        // Out of memory or anything else: start-up never fails over the language.
    }
    return CWinApp::InitInstance();
}

void PluginApp::SetLanguageDirectory(std::string directory) noexcept {
    m_languageDirectory = std::move(directory);
}

}  // namespace flanger::ui
