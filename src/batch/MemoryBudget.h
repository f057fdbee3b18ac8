#pragma once
// The memory the workers of a batch may fill with decoded pictures at once. A worker reserves
// a picture's share before decoding it and gives it back when the picture is let go; while
// the others hold too much, it waits. Reservations are granted in the order they are asked
// for, so a big picture is not passed over for ever by small ones. One bigger than the whole
// budget is granted once nothing else is held, and then runs alone.

#include <condition_variable>
#include <cstdint>
#include <mutex>

class TMemoryBudget {
public:
    explicit TMemoryBudget(std::uint64_t Capacity);
    TMemoryBudget(const TMemoryBudget&) = delete;
    TMemoryBudget& operator=(const TMemoryBudget&) = delete;

    // Waits until Bytes fit beside what is held, then holds them.
    void Reserve(std::uint64_t Bytes);
    // Gives back Bytes taken by Reserve.
    void Release(std::uint64_t Bytes);

    std::uint64_t Capacity() const noexcept { return FCapacity; }
    std::uint64_t Held() const;
    // Reservations asked for and not yet granted.
    int Waiting() const;

private:
    const std::uint64_t FCapacity;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::uint64_t FHeld = 0;
    std::uint64_t FNextTicket = 0;  // the turn the next Reserve takes
    std::uint64_t FServing = 0;     // the turn being granted
};

// Bytes held from a budget for as long as the object lives; nothing without a budget.
class TMemoryReservation {
public:
    TMemoryReservation() = default;
    TMemoryReservation(TMemoryBudget* Budget, std::uint64_t Bytes);
    ~TMemoryReservation();
    TMemoryReservation(const TMemoryReservation&) = delete;
    TMemoryReservation& operator=(const TMemoryReservation&) = delete;

    void Release();

private:
    TMemoryBudget* FBudget = nullptr;
    std::uint64_t FBytes = 0;
};

// What a batch sets aside for pictures unless told: half of the memory the system says is
// available (MemAvailable in /proc/meminfo), or 1 GB where it does not say.
std::uint64_t DefaultMemoryBudget();
