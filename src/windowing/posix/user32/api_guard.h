// The layer's own work inside a C entry point: no exception may leave the C API.
//
// RunGuarded runs the part of a call that belongs to the layer (lookups, allocations, the
// lock) and turns any exception into a failure with the thread's last error set. Window and
// dialog procedures are user code and are never called inside it: an exception they throw
// travels to whoever sent the message, unchanged, as on Windows. (The framework's own
// procedures catch everything before it reaches the layer.)
#pragma once

#include <new>

#include "flanger_user32.h"

namespace flanger::platform::user32 {

template <typename Work>
bool RunGuarded(Work&& work) noexcept {
    try {
        work();
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return false;
}

}  // namespace flanger::platform::user32
