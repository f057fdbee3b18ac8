#include "base/AllocatorSettings.h"

#include <cstdlib>  // says which C library this is

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void ConfigureAllocatorForBatches() noexcept
{
#if defined(__GLIBC__)
    constexpr int OwnBlocksFrom = 1 << 20;
    constexpr int KeptAtHeapTop = 16 << 20;
    mallopt(M_MMAP_THRESHOLD, OwnBlocksFrom);
    mallopt(M_TRIM_THRESHOLD, KeptAtHeapTop);
#endif
}
