// tessival-batch: the batch conversion for scripts and servers.

#include "base/AllocatorSettings.h"
#include "base/OpenFileLimit.h"
#include "batch/CommandLine.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <thread>


namespace {

// SIGINT and SIGTERM ask the batch to stop after the files in hand; a second one ends the
// program at once (the next run removes what it leaves).
std::atomic<bool> StopRequested{false};
volatile std::sig_atomic_t StopSignal = 0;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void RequestStop(int Signal)
{
    StopSignal = Signal;
    StopRequested.store(true);
}

void InstallSignalHandlers()
{
    struct sigaction stop {};
    stop.sa_handler = RequestStop;
    sigemptyset(&stop.sa_mask);
    stop.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    // A reader that goes away (| head) must not end the batch halfway: the log's write fails
    // instead, and the run goes on.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    ConfigureAllocatorForBatches();
    // A site of many folders holds a lock, and so a descriptor, for each of them.
    RaiseOpenFileLimit();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    InstallSignalHandlers();
    // A usage error found while the run looks at its paths comes before anything is touched.
    try {
        const int status = RunCommandLine(ParseCommandLine(args, cores), std::cin, std::cout, std::cerr, &StopRequested);
        // Stopped by a signal: the usual status of a program that a signal ended.
        if (StopSignal != 0) return 128 + StopSignal;
        return status;
    } catch (const EUsageError& e) {
        std::cout << std::flush;
        std::cerr << "tessival-batch: " << e.Message() << "\n"
                  << CommandLineText::UsageHint << "\n";
        return ExitUsage;
    } catch (const std::exception& e) {
        std::cout << std::flush;
        std::cerr << "tessival-batch: " << e.what() << "\n";
        return ExitSomeFailed;
    }
}
