// The module-context slot on Linux: the windowing layer's per-thread slot, shared with the host
// and every other module that links the layer.
#include "windowing/framework/module_context_slot.h"
#include "windowing/user32.h"

namespace flanger::framework {

void* GetCurrentModuleContext() noexcept { return FlangerGetModuleContext(); }

void* ExchangeCurrentModuleContext(void* context) noexcept {
    return FlangerSetModuleContext(context);
}

}  // namespace flanger::framework
