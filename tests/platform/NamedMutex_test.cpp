#include "NamedMutex.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "WaitUntil.h"

namespace hvn::platform {
namespace {

using hvn::test::waitUntil;

// tryLock from a thread of its own, released again at once.
bool freeForAnotherThread(const NamedMutex &mutex)
{
    bool taken = false;
    std::thread([&] {
        NamedMutex handle(mutex);
        taken = handle.tryLock();
        if (taken)
            handle.unlock();
    }).join();
    return taken;
}

TEST(NamedMutex, HandlesOfOneNameShareOneMutexAndOtherNamesAreIndependent)
{
    NamedMutex a("test.shared");
    NamedMutexLock held(a);
    EXPECT_FALSE(freeForAnotherThread(NamedMutex("test.shared")));
    EXPECT_TRUE(freeForAnotherThread(NamedMutex("test.other")));
    held.unlock();
    EXPECT_TRUE(freeForAnotherThread(NamedMutex("test.shared")));
}

TEST(NamedMutex, OwnerMayTakeItAgainAndMustUndoEveryTake)
{
    NamedMutex mutex("test.recursive");
    mutex.lock();
    mutex.lock();
    mutex.unlock();
    EXPECT_FALSE(freeForAnotherThread(mutex));
    mutex.unlock();
    EXPECT_TRUE(freeForAnotherThread(mutex));
}

TEST(NamedMutex, ReleaseByAThreadThatDoesNotOwnItIsRefused)
{
    NamedMutex mutex("test.foreign");
    EXPECT_THROW(mutex.unlock(), std::logic_error);
    NamedMutexLock held(mutex);
    bool refused = false;
    std::thread([&] {
        try {
            NamedMutex(mutex).unlock();
        } catch (const std::logic_error &) {
            refused = true;
        }
    }).join();
    EXPECT_TRUE(refused);
    EXPECT_TRUE(mutex.ownedByCurrentThread());
}

TEST(NamedMutex, WaitersAreGrantedInArrivalOrder)
{
    NamedMutex mutex("test.fifo");
    NamedMutexLock held(mutex);
    std::mutex orderMutex;
    std::vector<int> order;
    std::vector<std::thread> threads;
    constexpr int kWaiters = 6;
    for (int i = 0; i < kWaiters; ++i) {
        threads.emplace_back([&, i] {
            NamedMutexLock mine{NamedMutex("test.fifo")};
            std::lock_guard lock(orderMutex);
            order.push_back(i);
        });
        if (!waitUntil([&] { return mutex.waiters() == static_cast<std::size_t>(i + 1); })) {
            ADD_FAILURE() << "waiter " << i << " never queued";
            break;
        }
    }
    // A late tryLock must not overtake the queue.
    EXPECT_FALSE(freeForAnotherThread(mutex));
    held.unlock();
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

// A stop ends one wait at once, without ownership; the waiters before and after it are
// still granted in their order, and a stop requested before the wait never queues.
TEST(NamedMutex, StoppedWaitEndsAtOnceAndLeavesTheOthersInOrder)
{
    NamedMutex mutex("test.stop");
    NamedMutexLock held(mutex);
    std::mutex orderMutex;
    std::vector<int> order;
    std::stop_source stopMiddle;
    std::atomic<bool> middleOwned{true};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&, i] {
            if (i == 1) {
                NamedMutexLock mine(NamedMutex("test.stop"), stopMiddle.get_token());
                middleOwned = mine.ownsLock();
                return;
            }
            NamedMutexLock mine{NamedMutex("test.stop")};
            std::lock_guard lock(orderMutex);
            order.push_back(i);
        });
        ASSERT_TRUE(waitUntil([&] { return mutex.waiters() == static_cast<std::size_t>(i + 1); }));
    }
    stopMiddle.request_stop();
    threads[1].join(); // while the mutex is still held
    EXPECT_FALSE(middleOwned);
    EXPECT_EQ(mutex.waiters(), 2u);

    std::stop_source early;
    early.request_stop();
    std::thread([&] { EXPECT_FALSE(NamedMutex("test.stop").lock(early.get_token())); }).join();
    EXPECT_EQ(mutex.waiters(), 2u);

    held.unlock();
    threads[0].join();
    threads[2].join();
    EXPECT_EQ(order, (std::vector<int>{0, 2}));
    EXPECT_TRUE(freeForAnotherThread(mutex));
}

TEST(NamedMutex, ThreadEndingWhileOwningItPassesItToTheNextWaiter)
{
    NamedMutex mutex("test.abandoned");
    std::atomic<bool> owned{false};
    std::thread owner([&] {
        NamedMutex(mutex).lock(); // never released: the thread abandons it
        owned = true;
    });
    owner.join();
    ASSERT_TRUE(owned);
    std::thread waiter([&] {
        NamedMutexLock lock(mutex);
        EXPECT_TRUE(mutex.ownedByCurrentThread());
    });
    waiter.join();
    EXPECT_TRUE(freeForAnotherThread(mutex));
}

TEST(NamedMutex, LockGuardReleasesOnceWhenMovedAndDestroyed)
{
    NamedMutex mutex("test.guard");
    {
        NamedMutexLock first(mutex);
        NamedMutexLock second(std::move(first));
        EXPECT_FALSE(first.ownsLock());
        EXPECT_TRUE(second.ownsLock());
        EXPECT_FALSE(freeForAnotherThread(mutex));
    }
    EXPECT_FALSE(mutex.ownedByCurrentThread());
    EXPECT_TRUE(freeForAnotherThread(mutex));
}

} // namespace
} // namespace hvn::platform
