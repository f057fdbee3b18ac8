// tessival-batch: the batch conversion for scripts and servers.

#include "batch/CommandLine.h"

#include <iostream>
#include <thread>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    // Pictures of a megabyte and more get blocks of their own from the system and give them
    // back when freed. Otherwise the allocator raises this limit after the first big picture
    // is freed, and later pictures fragment the heap, which then holds far more than the
    // largest picture needs.
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    // A usage error found while the run looks at its paths comes before anything is touched.
    try {
        return RunCommandLine(ParseCommandLine(args, cores), std::cin, std::cout, std::cerr);
    } catch (const EUsageError& e) {
        std::cout << std::flush;
        std::cerr << "tessival-batch: " << e.Message() << "\n"
                  << "使い方は tessival-batch --help で表示されます\n";
        return ExitUsage;
    } catch (const std::exception& e) {
        std::cout << std::flush;
        std::cerr << "tessival-batch: " << e.what() << "\n";
        return ExitSomeFailed;
    }
}
