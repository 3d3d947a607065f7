// The host mutex's contract with real threads: re-entrancy, a release by a
// stranger, time-outs under contention, no starvation, cancellation while
// waiting.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TLX/Mutex.h"
#include "TLX/Thread.h"
#include "TestSupport.h"

namespace {

using TLX::Threading::CThread;
using TLX::Threading::kInfinite;
using TLX::Threading::kWaitTimeout;
using TLX::Threading::Native_OS::CFastMutex;
using TLX::Threading::Native_OS::CSyncGuard;
using Clock = std::chrono::steady_clock;

long long MillisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Result of a Wait on `mutex` from another thread.
int WaitFromOtherThread(CFastMutex& mutex, unsigned timeoutMs) {
  int result = -1;
  std::thread([&] {
    result = mutex.Wait(nullptr, timeoutMs);
    if (result == 1) mutex.Release();
  }).join();
  return result;
}

TEST(FastMutexTest, ReentrantForItsOwnerAndTimedForOthers) {
  CFastMutex mutex;
  EXPECT_EQ(mutex.Wait(nullptr, 0), 0);  // not initialised
  ASSERT_EQ(mutex.Init(), 1);
  ASSERT_EQ(mutex.Wait(nullptr, kInfinite), 1);
  ASSERT_EQ(mutex.Wait(nullptr, 0), 1);  // the owner's second level does not block
  EXPECT_TRUE(mutex.IsOwner());
  const auto start = Clock::now();
  EXPECT_EQ(WaitFromOtherThread(mutex, 100), kWaitTimeout);
  EXPECT_GE(MillisSince(start), 100);
  int strangerRelease = -1;
  std::thread([&] { strangerRelease = mutex.Release(); }).join();
  EXPECT_EQ(strangerRelease, 0);  // changes nothing
  EXPECT_EQ(mutex.Release(), 1);
  EXPECT_EQ(WaitFromOtherThread(mutex, 0), kWaitTimeout);  // one level still held
  EXPECT_EQ(mutex.Release(), 1);
  EXPECT_FALSE(mutex.IsOwner());
  EXPECT_EQ(mutex.Release(), 0);  // nothing left to release
  EXPECT_EQ(WaitFromOtherThread(mutex, 0), 1);
  {
    CSyncGuard guard;
    ASSERT_EQ(mutex.Wait(&guard), 1);
    ASSERT_EQ(mutex.Wait(&guard), 1);
    ASSERT_EQ(mutex.Wait(nullptr), 1);  // a level outside the guard
  }
  EXPECT_TRUE(mutex.IsOwner());  // the guard released only its own two levels
  EXPECT_EQ(mutex.Release(), 1);
  EXPECT_FALSE(mutex.IsOwner());
}

// Hogs take and release in a tight loop, with timeouts from none to
// unlimited; the unlimited ones now and then keep the mutex 20 ms, so that
// waiters time out. Once they run, sleepers take it now and then. Nobody is let in while
// another holds it, every take is counted once, every thread ends, timed
// hogs give up at their deadlines and sleepers get it within a second.
TEST(FastMutexTest, ContendedTakesAreExclusiveOnTimeAndStarveNobody) {
  CFastMutex mutex;
  mutex.Init();
  const unsigned timeouts[] = {0, 1, 1, 2, 15, 50, kInfinite, kInfinite};
  long counter = 0;  // guarded by mutex
  std::atomic<bool> stop{false}, occupied{false};
  std::atomic<int> taken{0}, timedOut{0}, wrong{0}, late{0}, ended{0};
  auto take = [&](unsigned timeout, bool keep) {
    const auto start = Clock::now();
    const int result = mutex.Wait(nullptr, timeout);
    const long long ms = MillisSince(start);
    if (result != 1) {
      ++timedOut;
      wrong +=
          result != kWaitTimeout || timeout == kInfinite || ms < timeout || ms > timeout + 1500;
      return false;
    }
    wrong += occupied.exchange(true);
    ++counter;
    if (keep) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    occupied = false;
    ++taken;
    mutex.Release();
    return ms < 1000;
  };
  std::vector<std::thread> hogs, sleepers;
  for (const unsigned timeout : timeouts) {
    hogs.emplace_back([&, timeout] {
      for (int i = 0; !stop; ++i) take(timeout, timeout == kInfinite && i % 100 == 0);
      ++ended;
    });
  }
  while (taken < 1000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (int s = 0; s < 3; ++s) {
    sleepers.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        late += !take(5000, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      ++ended;
    });
  }
  // A waiter that hangs would hang the join: end the program instead.
  if (!nimbra_test::WaitFor([&] { return ended == 3; }, std::chrono::seconds(60))) std::abort();
  stop = true;
  if (!nimbra_test::WaitFor([&] { return ended == 11; }, std::chrono::seconds(60))) std::abort();
  for (auto& t : hogs) t.join();
  for (auto& t : sleepers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(late.load(), 0);
  EXPECT_EQ(counter, taken.load());
  EXPECT_GT(timedOut.load(), 0);
  EXPECT_EQ(WaitFromOtherThread(mutex, 0), 1);  // left free
}

// A waiter cancelled while asleep in a take leaves the mutex usable: the next
// waiter gets it promptly, then the holder again. In the second case the
// mutex is handed over to the victim as it unwinds, and it must pass it on.
TEST(FastMutexTest, CancelledSleeperDoesNotWedgeIt) {
  for (const bool handOver : {false, true}) {
    for (int round = 0; round < 3; ++round) {
      CFastMutex mutex;
      mutex.Init();
      ASSERT_EQ(mutex.Wait(nullptr), 1);
      CThread victim;
      ASSERT_TRUE(victim.Create(
          [&] {
            if (mutex.Wait(nullptr, kInfinite) == 1) mutex.Release();
          },
          false));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      std::atomic<long long> nextMs{1 << 30};
      std::thread next([&] {
        const auto start = Clock::now();
        if (mutex.Wait(nullptr, 10000) != 1) return;
        nextMs = MillisSince(start);
        mutex.Release();
      });
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (handOver) {
        mutex.Release();  // wakes the victim, which as a rule finds it taken back
        ASSERT_EQ(mutex.Wait(nullptr), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      victim.Cancel();
      mutex.Release();
      EXPECT_EQ(victim.Wait(5000), 0) << handOver;
      next.join();
      EXPECT_LT(nextMs.load(), 5000) << handOver;  // got it, woken rather than timed out
      EXPECT_EQ(mutex.Wait(nullptr, 5000), 1) << handOver;
      EXPECT_EQ(mutex.Release(), 1);
    }
  }
}

}  // namespace
