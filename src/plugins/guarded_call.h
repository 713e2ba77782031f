// Where a host calls in through C: nothing C++ throws (memory running out) may unwind into it.
#pragma once

namespace flanger::plugins {

// Runs `call`; `failure` where it throws.
template <typename Result, typename Call>
Result Guarded(Result failure, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

}  // namespace flanger::plugins
