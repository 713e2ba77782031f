// Allocations counted while a plug-in runs: the host tests check that the audio thread's calls
// allocate nothing.
#pragma once

namespace flanger::testing {

// Counts every allocation from construction to destruction, in this program and every library
// it loaded; Count() is -1 where allocations cannot be counted (under AddressSanitizer, whose
// allocator comes first, and on Windows, whose C library's allocator cannot be replaced).
class CountedAllocations {
public:
    CountedAllocations();
    ~CountedAllocations();
    CountedAllocations(const CountedAllocations&) = delete;
    CountedAllocations& operator=(const CountedAllocations&) = delete;

    static long Count();
};

}  // namespace flanger::testing
