#include "allocation_count.h"

#include <cerrno>
#include <cstddef>

namespace {

bool gCounting = false;
long gAllocations = 0;

}  // namespace

#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
// The program's own allocator functions come before the C library's for every library it loads,
// the plug-in and libstdc++'s operator new included; they count and pass on.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size) noexcept { return gAllocations += gCounting, __libc_malloc(size); }
void* calloc(std::size_t count, std::size_t size) noexcept {
    return gAllocations += gCounting, __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) noexcept {
    return gAllocations += gCounting, __libc_realloc(block, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
    return gAllocations += gCounting, __libc_memalign(alignment, size);
}
int posix_memalign(void** block, std::size_t alignment, std::size_t size) noexcept {
    gAllocations += gCounting;
    *block = __libc_memalign(alignment, size);
    return *block != nullptr ? 0 : ENOMEM;
}
void free(void* block) noexcept { __libc_free(block); }
}
#endif

namespace flanger::testing {

CountedAllocations::CountedAllocations() { gCounting = true; }

CountedAllocations::~CountedAllocations() { gCounting = false; }

long CountedAllocations::Count() {
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
    constexpr bool kCountable = false;
#else
    constexpr bool kCountable = true;
#endif
    return kCountable ? gAllocations : -1;
}

}  // namespace flanger::testing
