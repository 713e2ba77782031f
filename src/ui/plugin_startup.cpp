// The module's application object and its start-up, linked into the module itself.
//
// Both run during the module's static initialisation when the host loads it, in this order
// (one translation unit): the application object is constructed, then the start-up makes the
// module's state current, calls PluginApp::InitInstance (the resource language selection),
// enters the module's own resources in the resource chain and gives the loading thread its
// context back. No export can be called before the module's initialisation has finished.
#include "platform/framework/module_startup.h"
#include "ui/own_resources.h"
#include "ui/plugin_app.h"

namespace flanger::ui {
namespace {

PluginApp thePluginApp;

[[maybe_unused]] const bool moduleStarted = [] {
    framework::AfxInitializeModule(OwnResourceModule());
    return true;
}();

}  // namespace
}  // namespace flanger::ui
