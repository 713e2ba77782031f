// The module's application object and its start-up, linked into the module itself.
//
// The application object is constructed during the module's static initialisation when the host
// loads it. The start-up then makes the module's state current, calls PluginApp::InitInstance
// (the resource language selection), enters the module's own resources in the resource chain
// and gives the caller its context back; it runs once per load, before any export uses a
// resource. When it runs is decided here, below, and so is the module's end on Linux.
#include "ui/own_resources.h"
#include "ui/plugin_app.h"
#include "windowing/framework/module_startup.h"
#ifdef _WIN32
#include "platform/win32/current_directory.h"
#endif

namespace flanger::ui {
namespace {

PluginApp thePluginApp;

// On Linux the start-up runs while the module loads, right after the application object is
// constructed (one translation unit), so no export can be called before it has finished.
//
// On Windows static initialisation runs inside DllMain, under the loader lock, where loading
// another library (LoadLibraryA of the resource library) and creating the COM XML parser (reading
// "Language.xml") can deadlock or fail. There the start-up is put off to the first call of any
// export: inside that export's module state, before its body runs, once per load, and that call
// waits for it (see AfxEnsureModuleInitialized), so it still comes before any export uses a
// resource. It sets up COM for itself where the calling thread has none, so the host may call
// first from any thread. What the start-up would have found while the module loads is taken
// here: the current directory, which the host may change before its first call.
[[maybe_unused]] const bool moduleStarted = [] {
#ifdef _WIN32
    thePluginApp.SetLanguageDirectory(platform::CurrentDirectoryPath());
    framework::AfxDeferModuleInitialization(&OwnResourceModule);
#else
    framework::AfxInitializeModule(OwnResourceModule());
#endif
    return true;
}();

#ifndef _WIN32
// When the host unloads the module (dlclose), before the module's code and data are unmapped:
// the windowing layer, which outlives the module, must keep nothing that leads into it (a
// settings window still open, the registered resource function and the template it returned).
// A destructor function runs before the static objects are destroyed (those go last, through
// the runtime's own entry of the finalisation array), so the windows of the module still find
// everything their last messages need.
__attribute__((destructor)) void TerminateModule() {
    framework::AfxTerminateModule(&ReleaseOwnResourceModule);
}
#endif

}  // namespace
}  // namespace flanger::ui
