// The memory budget the workers of a batch share: reservations that do not fit wait, in the
// order they were asked for, and one larger than the whole budget runs alone instead of never.

#include "batch/MemoryBudget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A reservation made on a thread of its own; Granted once Reserve has returned.
class TReserver {
public:
    TReserver(TMemoryBudget& Budget, std::uint64_t Bytes)
        : FThread([this, &Budget, Bytes] {
              Budget.Reserve(Bytes);
              Granted = true;
          })
    {
    }
    ~TReserver() { Join(); }
    void Join()
    {
        if (FThread.joinable()) FThread.join();
    }
    std::atomic<bool> Granted{false};

private:
    std::thread FThread;
};

// Until Count reservations are waiting inside Reserve.
void UntilWaiting(const TMemoryBudget& Budget, int Count)
{
    while (Budget.Waiting() != Count) std::this_thread::yield();
}

}  // namespace

TEST(MemoryBudget, ReservationsThatFitTogetherDoNotWait)
{
    TMemoryBudget budget(100);
    budget.Reserve(40);
    budget.Reserve(60);
    EXPECT_EQ(budget.Held(), 100u);
    budget.Release(40);
    budget.Release(60);
    EXPECT_EQ(budget.Held(), 0u);
}

TEST(MemoryBudget, TwoBigReservationsWaitForEachOther)
{
    TMemoryBudget budget(100);
    budget.Reserve(60);
    TReserver second(budget, 60);
    UntilWaiting(budget, 1);
    EXPECT_FALSE(second.Granted);
    EXPECT_EQ(budget.Held(), 60u);
    budget.Release(60);
    second.Join();
    EXPECT_TRUE(second.Granted);
    EXPECT_EQ(budget.Held(), 60u);
    budget.Release(60);
}

TEST(MemoryBudget, OneLargerThanTheWholeBudgetRunsAlone)
{
    TMemoryBudget budget(100);
    // Nothing held: granted at once, never made to wait for room that cannot come.
    budget.Reserve(500);
    EXPECT_EQ(budget.Held(), 500u);
    // While it runs, even a small one waits.
    TReserver small(budget, 1);
    UntilWaiting(budget, 1);
    EXPECT_FALSE(small.Granted);
    budget.Release(500);
    small.Join();
    EXPECT_TRUE(small.Granted);

    // Something held: it waits for that to be given back, then runs.
    TReserver large(budget, 500);
    UntilWaiting(budget, 1);
    EXPECT_FALSE(large.Granted);
    budget.Release(1);
    large.Join();
    EXPECT_TRUE(large.Granted);
    EXPECT_EQ(budget.Held(), 500u);
    budget.Release(500);
}

TEST(MemoryBudget, AWaitingReservationIsNotPassedOverBySmallerOnes)
{
    TMemoryBudget budget(100);
    budget.Reserve(60);
    TReserver big(budget, 60);
    UntilWaiting(budget, 1);
    // Would fit beside the 60 held, but the big one asked first.
    TReserver small(budget, 10);
    UntilWaiting(budget, 2);
    EXPECT_FALSE(big.Granted);
    EXPECT_FALSE(small.Granted);
    budget.Release(60);
    big.Join();
    small.Join();
    EXPECT_EQ(budget.Held(), 70u);
}

TEST(MemoryBudget, AReservationObjectGivesItsBytesBack)
{
    TMemoryBudget budget(100);
    {
        TMemoryReservation held(&budget, 80);
        EXPECT_EQ(budget.Held(), 80u);
        TMemoryReservation moreHeld(&budget, 20);
        EXPECT_EQ(budget.Held(), 100u);
        moreHeld.Release();
        EXPECT_EQ(budget.Held(), 80u);
    }
    EXPECT_EQ(budget.Held(), 0u);
    TMemoryReservation none(nullptr, 1000);  // without a budget nothing is counted or waited for
    EXPECT_EQ(budget.Held(), 0u);
}

TEST(MemoryBudget, ManyWorkersNeverHoldMoreThanTheBudget)
{
    TMemoryBudget budget(100);
    std::atomic<std::uint64_t> most{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 6; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < 300; ++i) {
                const std::uint64_t bytes = 10 + static_cast<std::uint64_t>((w * 37 + i * 13) % 60);
                TMemoryReservation held(&budget, bytes);
                const std::uint64_t now = budget.Held();
                for (std::uint64_t seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::yield();
            }
        });
    for (std::thread& t : workers) t.join();
    EXPECT_LE(most.load(), 100u);
    EXPECT_EQ(budget.Held(), 0u);
}

TEST(MemoryBudget, TheDefaultIsHalfOfWhatIsAvailable)
{
    const std::uint64_t budget = DefaultMemoryBudget();
    EXPECT_GT(budget, 0u);
    std::ifstream in("/proc/meminfo");
    std::string line;
    std::uint64_t available = 0;
    while (std::getline(in, line))
        if (line.rfind("MemAvailable:", 0) == 0) available = std::stoull(line.substr(13)) * 1024;
    ASSERT_GT(available, 0u) << "no MemAvailable in /proc/meminfo";
    // Read at another moment than the test's own reading: close, not equal.
    EXPECT_GT(budget, available / 4);
    EXPECT_LT(budget, available);
}
