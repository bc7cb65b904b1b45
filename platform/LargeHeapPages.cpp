#include "platform/LargeHeapPages.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr std::uintptr_t hugePageSize = std::uintptr_t(2) << 20;
// glibc's starting values, restored where the reservation fails.
constexpr int defaultTopPad = 128 * 1024;
constexpr int defaultTrimThreshold = 128 * 1024;
// Under glibc's starting threshold for allocations mapped on their own, so
// that the probes come from the heap.
constexpr std::size_t probeSize = 60 * 1024;
constexpr int maxProbes = 64;

std::uintptr_t currentBreak()
{
    return reinterpret_cast<std::uintptr_t>(sbrk(0));
}

} // namespace

bool useLargeHeapPages(std::size_t reserveBytes)
{
    if (reserveBytes < hugePageSize || reserveBytes > std::size_t(INT_MAX))
        return false;
    // The reserved top is never handed back, or the heap would grow again
    // in pages the kernel was not asked to make huge.
    mallopt(M_TRIM_THRESHOLD, INT_MAX);
    mallopt(M_TOP_PAD, int(reserveBytes));
    // Allocate until the heap grows once, now by the pad.
    const std::uintptr_t breakBefore = currentBreak();
    void *probes[maxProbes];
    int probeCount = 0;
    while (probeCount < maxProbes && currentBreak() == breakBefore) {
        probes[probeCount] = std::malloc(probeSize);
        if (!probes[probeCount])
            break;
        ++probeCount;
    }
    const std::uintptr_t breakAfter = currentBreak();
    mallopt(M_TOP_PAD, defaultTopPad);
    const bool reserved = probeCount > 0 && breakAfter >= breakBefore + reserveBytes;
    if (reserved) {
        const std::uintptr_t start = (breakBefore + hugePageSize - 1) & ~(hugePageSize - 1);
        const std::uintptr_t end = breakAfter & ~(hugePageSize - 1);
        // Without transparent huge pages this fails or does nothing; the
        // heap works as before either way.
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
    } else {
        mallopt(M_TRIM_THRESHOLD, defaultTrimThreshold);
    }
    for (int i = 0; i < probeCount; ++i)
        std::free(probes[i]);
    return reserved;
}
