// Windows: the module's own resources are the resource section of the module itself.
#include "ui/own_resources.h"

namespace flanger::ui {

HINSTANCE OwnResourceModule() noexcept {
    HMODULE module = nullptr;
    // The module that holds this very function; the reference count is left as it is.
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&OwnResourceModule), &module);
    return module;
}

}  // namespace flanger::ui
