#include "batch/MemoryBudget.h"

#include <cstdlib>
#include <fstream>
#include <string>

TMemoryBudget::TMemoryBudget(std::uint64_t Capacity) : FCapacity(Capacity) {}

void TMemoryBudget::Reserve(std::uint64_t Bytes)
{
    std::unique_lock<std::mutex> guard(FLock);
    const std::uint64_t ticket = FNextTicket++;
    FChanged.wait(guard, [&] {
        return ticket == FServing && (FHeld == 0 || (FHeld <= FCapacity && Bytes <= FCapacity - FHeld));
    });
    FHeld += Bytes;
    ++FServing;
    guard.unlock();
    // The next in turn may fit beside this one.
    FChanged.notify_all();
}

void TMemoryBudget::Release(std::uint64_t Bytes)
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FHeld -= Bytes < FHeld ? Bytes : FHeld;
    }
    FChanged.notify_all();
}

std::uint64_t TMemoryBudget::Held() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FHeld;
}

int TMemoryBudget::Waiting() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return static_cast<int>(FNextTicket - FServing);
}

TMemoryReservation::TMemoryReservation(TMemoryBudget* Budget, std::uint64_t Bytes) : FBudget(Budget), FBytes(Bytes)
{
    if (FBudget) FBudget->Reserve(FBytes);
}

TMemoryReservation::~TMemoryReservation() { Release(); }

void TMemoryReservation::Release()
{
    if (FBudget) FBudget->Release(FBytes);
    FBudget = nullptr;
}

std::uint64_t DefaultMemoryBudget()
{
    std::ifstream in("/proc/meminfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        const std::uint64_t kilobytes = std::strtoull(line.c_str() + 13, nullptr, 10);
        if (kilobytes > 0) return kilobytes * 1024 / 2;
    }
    return std::uint64_t{1} << 30;
}
