// Loaded objects' segments, from the dynamic loader's program headers.
#include "windowing/posix/user32/loaded_object.h"

#include <link.h>

#include <algorithm>

namespace flanger::platform::user32 {
namespace {

using Segments = std::vector<std::pair<std::uintptr_t, std::uintptr_t>>;

struct Search {
    std::uintptr_t address = 0;
    Segments found;
};

Segments LoadSegments(const dl_phdr_info& object) {
    Segments segments;
    for (ElfW(Half) k = 0; k < object.dlpi_phnum; ++k) {
        const ElfW(Phdr)& header = object.dlpi_phdr[k];
        if (header.p_type != PT_LOAD) continue;
        const std::uintptr_t first = object.dlpi_addr + header.p_vaddr;
        segments.emplace_back(first, first + header.p_memsz);
    }
    return segments;
}

int VisitObject(dl_phdr_info* object, size_t, void* data) {
    auto& search = *static_cast<Search*>(data);
    Segments segments = LoadSegments(*object);
    const bool holds = std::ranges::any_of(segments, [&](const auto& segment) {
        return search.address >= segment.first && search.address < segment.second;
    });
    if (!holds) return 0;
    search.found = std::move(segments);
    return 1;  // found: stop
}

}  // namespace

LoadedObject LoadedObject::Holding(const void* address) {
    LoadedObject object;
    if (address == nullptr) return object;
    Search search;
    search.address = reinterpret_cast<std::uintptr_t>(address);
    dl_iterate_phdr(&VisitObject, &search);
    object.Segments = std::move(search.found);
    return object;
}

bool LoadedObject::Contains(const void* address) const noexcept {
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    return address != nullptr && std::ranges::any_of(Segments, [value](const auto& segment) {
               return value >= segment.first && value < segment.second;
           });
}

}  // namespace flanger::platform::user32
