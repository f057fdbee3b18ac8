#include "base/AllocatorSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>
#endif

namespace {

#if defined(__GLIBC__)
// What the allocator does with the settings in force, found in a child process so that the
// settings stay out of this one: bit 1 when blocks of 600 KB came from the system on their own,
// bit 2 when the heap gave 8 MB of freed small blocks back to the system.
int AllocatorBehaviourInChild(bool Configure)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (Configure) {
            ConfigureAllocatorForBatches();
        } else {
            mallopt(M_MMAP_THRESHOLD, 128 << 10);  // the allocator's first settings
            mallopt(M_TRIM_THRESHOLD, 128 << 10);
        }
        int found = 0;
        // More blocks than any free space the heap may have from before the fork.
        const std::size_t ownBefore = mallinfo2().hblkhd;
        std::vector<void*> middle(64);
        for (void*& block : middle)
            block = std::malloc(600 << 10);
        if (mallinfo2().hblkhd >= ownBefore + (32 << 20))
            found |= 1;
        for (void* block : middle)
            std::free(block);

        std::vector<void*> small(1024);
        for (void*& block : small)
            block = std::malloc(8 << 10);
        const std::size_t heapHeld = mallinfo2().arena;
        for (auto it = small.rbegin(); it != small.rend(); ++it)
            std::free(*it);
        if (mallinfo2().arena + (4 << 20) < heapHeld)
            found |= 2;
        _exit(found);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

TEST(AllocatorSettings, BlocksBelowAMegabyteComeFromTheHeapWhichKeepsWhatIsFreed)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's own allocator serves this build, not the C library's";
#elif defined(__GLIBC__)
    // With the allocator's first settings, for contrast, both happen.
    EXPECT_EQ(AllocatorBehaviourInChild(false), 3);
    EXPECT_EQ(AllocatorBehaviourInChild(true), 0);
#else
    GTEST_SKIP() << "the allocator settings are those of the GNU C library only";
#endif
}

}  // namespace
