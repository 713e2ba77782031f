// Linux: the module cannot add an entry point of its own to its fixed export table, so it hands
// the layer its resource function instead and gets a module handle for it.
#include "ui/own_resources.h"
#include "ui/settings_dialog_template.h"

namespace flanger::ui {

HINSTANCE OwnResourceModule() noexcept { return FlangerRegisterResourceModule(&FindOwnResource); }

void ReleaseOwnResourceModule(HINSTANCE module) noexcept {
    FlangerUnregisterResourceModule(module);
}

}  // namespace flanger::ui
