// The module-context slot on Windows: one thread-local variable per module. Nothing outside the
// module reads it; the host and other modules keep their own.
#include "windowing/framework/module_context_slot.h"

namespace flanger::framework {
namespace {

thread_local void* t_currentModuleContext = nullptr;

}  // namespace

void* GetCurrentModuleContext() noexcept { return t_currentModuleContext; }

void* ExchangeCurrentModuleContext(void* context) noexcept {
    void* const previous = t_currentModuleContext;
    t_currentModuleContext = context;
    return previous;
}

}  // namespace flanger::framework
