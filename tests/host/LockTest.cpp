// The re-entrant mutex, events, the waiter and the wait interval, with real
// threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TLX/Event.h"
#include "TLX/Mutex.h"
#include "TLX/Waiter.h"

namespace {

using TLX::Threading::CEvent;
using TLX::Threading::CWaiter;
using TLX::Threading::CWaitInterval;
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
}

TEST(FastMutexTest, ABlockedWaiterGetsTheMutexWhenReleased) {
  CFastMutex mutex;
  mutex.Init();
  ASSERT_EQ(mutex.Wait(nullptr), 1);
  std::atomic<int> result{-1};
  std::thread waiter([&] {
    result = mutex.Wait(nullptr, 10000);
    if (result == 1) mutex.Release();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(result.load(), -1);
  mutex.Release();
  waiter.join();
  EXPECT_EQ(result.load(), 1);
}

TEST(FastMutexTest, GuardReleasesItsLevelsOnScopeExit) {
  CFastMutex mutex;
  mutex.Init();
  {
    CSyncGuard guard;
    ASSERT_EQ(mutex.Wait(&guard), 1);
    ASSERT_EQ(mutex.Wait(&guard), 1);
    ASSERT_EQ(mutex.Wait(nullptr), 1);  // a level outside the guard
  }
  EXPECT_TRUE(mutex.IsOwner());  // the guard released only its own two levels
  EXPECT_EQ(mutex.Release(), 1);
  EXPECT_FALSE(mutex.IsOwner());
  CSyncGuard guard;
  ASSERT_EQ(mutex.Wait(&guard), 1);
  guard.Release();
  EXPECT_FALSE(mutex.IsOwner());
}

TEST(FastMutexTest, ExcludesOtherThreads) {
  CFastMutex mutex;
  mutex.Init();
  long counter = 0;  // guarded by mutex; TSan reports a race if exclusion fails
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        CSyncGuard guard;
        ASSERT_EQ(mutex.Wait(&guard), 1);
        ASSERT_EQ(mutex.Wait(&guard), 1);  // re-entry as the worker does
        ++counter;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8000);
}

TEST(EventTest, ManualAndAutoReset) {
  CEvent manual, automatic, unused;
  EXPECT_EQ(unused.Wait(0), 0);  // not initialised
  unused.Set();
  EXPECT_FALSE(unused.IsSet());
  ASSERT_EQ(manual.Init(false, true), 1);
  ASSERT_EQ(automatic.Init(true, false), 1);
  EXPECT_EQ(manual.Wait(0), kWaitTimeout);
  manual.Set();
  EXPECT_EQ(manual.Wait(0), 1);
  EXPECT_EQ(manual.Wait(0), 1);  // stays set
  manual.Reset();
  EXPECT_EQ(manual.Wait(0), kWaitTimeout);
  EXPECT_EQ(automatic.Wait(0), 1);             // initially set
  EXPECT_EQ(automatic.Wait(0), kWaitTimeout);  // consumed
  automatic.Set();
  automatic.Set();  // not counted
  EXPECT_EQ(automatic.Wait(0), 1);
  EXPECT_EQ(automatic.Wait(0), kWaitTimeout);
}

// One Set wakes every waiter of a manual-reset event, one of an auto-reset one.
TEST(EventTest, SetReleasesEveryWaiterOrOne) {
  for (const bool manualReset : {true, false}) {
    CEvent event;
    event.Init(false, manualReset);
    std::atomic<int> woken{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
      threads.emplace_back([&] { woken += event.Wait(manualReset ? 10000 : 300) == 1; });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    event.Set();
    for (auto& t : threads) t.join();
    EXPECT_EQ(woken.load(), manualReset ? 4 : 1);
  }
}

TEST(WaiterTest, PositionsInTheOrderAdded) {
  CEvent force, stop, priv;
  force.Init(false, false);
  stop.Init(false, true);
  priv.Init(false, false);
  CWaiter waiter;
  waiter << force << stop << priv;
  EXPECT_EQ(waiter.Wait(0), kWaitTimeout);
  priv.Set();
  EXPECT_EQ(waiter.Wait(0), 3);
  EXPECT_EQ(waiter.Wait(0), kWaitTimeout);  // auto-reset consumed by the wait that reported it
  force.Set();
  priv.Set();
  EXPECT_EQ(waiter.Wait(0), 1);  // first position when several are set
  EXPECT_EQ(waiter.Wait(0), 3);  // the other stays set
  stop.Set();
  EXPECT_EQ(waiter.Wait(0), 2);
  EXPECT_EQ(waiter.Wait(0), 2);        // manual reset stays set
  EXPECT_EQ(waiter.Wait(0, true), 0);  // waiting for all is not offered
  CWaiter empty;
  EXPECT_EQ(empty.Wait(10), kWaitTimeout);
}

TEST(WaiterTest, WakesOnASetFromAnotherThreadOrTimesOut) {
  CEvent a, b;
  a.Init(false, false);
  b.Init(false, false);
  CWaiter waiter;
  waiter << a << b;
  auto start = Clock::now();
  EXPECT_EQ(waiter.Wait(80), kWaitTimeout);
  EXPECT_GE(MillisSince(start), 80);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    b.Set();
  });
  start = Clock::now();
  EXPECT_EQ(waiter.Wait(kInfinite), 2);
  EXPECT_LT(MillisSince(start), 5000);
  setter.join();
}

// Two threads hand a token back and forth through auto-reset events. A lost
// wake-up would leave both waiting; the long timeout turns that into a
// failure instead of a hang.
TEST(WaiterTest, NoWakeUpIsLost) {
  constexpr int kRounds = 5000;
  CEvent ping, pong, unrelated;
  ping.Init(false, false);
  pong.Init(false, false);
  unrelated.Init(false, false);
  std::atomic<int> lost{0};
  std::thread partner([&] {
    CWaiter waiter;
    waiter << unrelated << ping;
    for (int i = 0; i < kRounds; ++i) {
      if (waiter.Wait(5000) != 2) ++lost;
      pong.Set();
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ping.Set();
    if (pong.Wait(5000) != 1) ++lost;
  }
  partner.join();
  EXPECT_EQ(lost.load(), 0);
}

TEST(WaitIntervalTest, CountsDownAndRestarts) {
  CWaitInterval interval(100);
  const unsigned first = interval;
  EXPECT_GT(first, 50u);
  EXPECT_LE(first, 100u);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_EQ(interval.Remaining(), 0u);
  interval.Restart(30000);
  EXPECT_GT(interval.Remaining(), 29000u);
  // A waiter waiting for the rest of an interval ends when it is over.
  CEvent never;
  never.Init(false, false);
  CWaiter waiter;
  waiter << never;
  interval.Restart(50);
  const auto start = Clock::now();
  EXPECT_EQ(waiter.Wait(interval), kWaitTimeout);
  EXPECT_GE(MillisSince(start), 50);
}

}  // namespace
