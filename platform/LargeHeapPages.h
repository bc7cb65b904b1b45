#pragma once

#include <cstddef>

// A sync holds every track of a large library in many small allocations:
// 100,000 tracks make some 200 MB of heap, which in 4 KiB pages costs about
// 50,000 page faults, a quarter of a no-change run. Called first thing in
// main, this grows the heap at once by reserveBytes of address space (taken
// from the system only as it is touched, and never handed back) and asks
// the kernel to back that with transparent huge pages, where it does so on
// request. Worker threads keep arenas of their own. Answers whether the
// reservation was made; where it was not (another allocator, limited
// address space), the heap keeps glibc's settings.
bool useLargeHeapPages(std::size_t reserveBytes = std::size_t(1) << 30);
