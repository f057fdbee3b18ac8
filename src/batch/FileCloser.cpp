#include "batch/FileCloser.h"

#include "base/SafeFile.h"

#include <algorithm>
#include <system_error>

TFileCloser::TFileCloser(std::size_t Threads, std::size_t MostWaiting)
    : FThreadCount(Threads), FMostWaiting(std::max<std::size_t>(1, MostWaiting))
{
}

bool TFileCloser::Started()
{
    if (!FStarted) {
        FStarted = true;
        try {
            for (std::size_t i = 0; i < FThreadCount; ++i) FThreads.emplace_back(&TFileCloser::Work, this);
        } catch (const std::system_error&) {
            // Fewer threads, or none: Close then closes the files itself.
        }
    }
    return !FThreads.empty();
}

TFileCloser::~TFileCloser()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FEnding = true;
    }
    FGiven.notify_all();
    for (std::thread& t : FThreads) t.join();
}

void TFileCloser::Close(std::unique_ptr<TSourceFile> File)
{
    std::vector<std::unique_ptr<TSourceFile>> one;
    one.push_back(std::move(File));
    Close(std::move(one));
}

void TFileCloser::Close(std::vector<std::unique_ptr<TSourceFile>> Files)
{
    std::unique_lock<std::mutex> guard(FLock);
    if (!Started()) {
        guard.unlock();
        Files.clear();
        return;
    }
    std::size_t next = 0;
    while (next < Files.size()) {
        FClosed.wait(guard, [&] { return FWaiting.size() + FClosing < FMostWaiting; });
        bool given = false;
        for (; next < Files.size() && FWaiting.size() + FClosing < FMostWaiting; ++next)
            if (Files[next]) {
                FWaiting.push_back(std::move(Files[next]));
                given = true;
            }
        if (given) {
            guard.unlock();
            FGiven.notify_all();
            guard.lock();
        }
    }
}

void TFileCloser::Wait()
{
    std::unique_lock<std::mutex> guard(FLock);
    FClosed.wait(guard, [&] { return FWaiting.empty() && FClosing == 0; });
}

void TFileCloser::Work()
{
    std::unique_lock<std::mutex> guard(FLock);
    for (;;) {
        FGiven.wait(guard, [&] { return FEnding || !FWaiting.empty(); });
        if (FWaiting.empty()) return;  // ending, and nothing left
        std::unique_ptr<TSourceFile> file = std::move(FWaiting.front());
        FWaiting.pop_front();
        ++FClosing;
        guard.unlock();
        file.reset();
        guard.lock();
        --FClosing;
        FClosed.notify_all();
    }
}
