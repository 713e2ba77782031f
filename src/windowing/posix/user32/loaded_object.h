// The memory one loaded shared object (or the program) occupies, for telling whether the layer
// still holds a pointer into a module that is being unloaded.
//
// The extent is read once from the dynamic loader (dl_iterate_phdr, which takes the loader's
// lock) and then answers without calling it, so it may be asked while the layer's locks are
// held: a library's constructors call into the layer under the loader's lock, so the layer must
// never wait for the loader's lock while holding its own.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace flanger::platform::user32 {

class LoadedObject {
public:
    // The object whose loadable segments hold `address`; an empty one when none does.
    static LoadedObject Holding(const void* address);

    bool Contains(const void* address) const noexcept;

    template <typename Function>
    bool ContainsFunction(Function* function) const noexcept {
        return Contains(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(function)));
    }

    bool Empty() const noexcept { return Segments.empty(); }

private:
    std::vector<std::pair<std::uintptr_t, std::uintptr_t>> Segments;  // [first, end)
};

}  // namespace flanger::platform::user32
