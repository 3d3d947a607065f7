// The re-entrant mutex, events, the waiter and the wait interval, with real
// threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TLX/Event.h"
#include "TLX/Mutex.h"
#include "TLX/Thread.h"
#include "TLX/Waiter.h"
#include "TestSupport.h"

namespace {

using TLX::Threading::CEvent;
using TLX::Threading::CThread;
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

// Eight threads take and release with timeouts from none to unlimited; now
// and then a holder keeps the mutex a few milliseconds, so that waiters time
// out. Nobody is let in while another holds it, every take is counted once and
// every thread ends.
TEST(FastMutexTest, ContendedTakesWithShortTimeouts) {
  CFastMutex mutex;
  mutex.Init();
  const unsigned timeouts[] = {0, 1, 1, 2, 5, 20, kInfinite, kInfinite};
  long counter = 0;  // guarded by mutex
  std::atomic<bool> go{false}, occupied{false};
  std::atomic<int> taken{0}, timedOut{0}, admittedTwice{0}, ended{0};
  std::vector<std::thread> threads;
  for (const unsigned timeout : timeouts) {
    threads.emplace_back([&, timeout] {
      while (!go) std::this_thread::yield();  // all at once, also on a busy machine
      for (int i = 0; i < 400; ++i) {
        const int result = mutex.Wait(nullptr, timeout);
        timedOut += result == kWaitTimeout && timeout != kInfinite;
        if (result != 1) continue;
        admittedTwice += occupied.exchange(true);
        ++counter;
        if (i % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));
        occupied = false;
        ++taken;
        mutex.Release();
      }
      ++ended;
    });
  }
  go = true;
  // A waiter that hangs would hang the join: end the program instead.
  if (!nimbra_test::WaitFor([&] { return ended == 8; }, std::chrono::seconds(60))) std::abort();
  for (auto& t : threads) t.join();
  EXPECT_EQ(admittedTwice.load(), 0);
  EXPECT_EQ(counter, taken.load());
  EXPECT_EQ(taken + timedOut, 8 * 400);  // no other result
  EXPECT_GT(timedOut.load(), 0);
  EXPECT_EQ(WaitFromOtherThread(mutex, 0), 1);  // left free
}

// While a holder keeps the mutex, timed waiters give up at their deadlines
// (within a wide margin), and a waiter without limit still gets it when it is
// released.
TEST(FastMutexTest, TimedWaitersGiveUpAtTheirDeadlines) {
  CFastMutex mutex;
  mutex.Init();
  ASSERT_EQ(mutex.Wait(nullptr), 1);
  std::atomic<int> patient{-1};
  std::thread patientThread([&] {
    patient = mutex.Wait(nullptr, kInfinite);
    if (patient == 1) mutex.Release();
  });
  const unsigned timeouts[] = {1, 15, 50, 200};        // below and above the hand-off age
  std::vector<std::pair<int, long long>> outcomes(4);  // result, milliseconds
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      const auto start = Clock::now();
      outcomes[i].first = mutex.Wait(nullptr, timeouts[i]);
      outcomes[i].second = MillisSince(start);
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(outcomes[i].first, kWaitTimeout) << timeouts[i];
    EXPECT_GE(outcomes[i].second, timeouts[i]) << timeouts[i];
    EXPECT_LT(outcomes[i].second, timeouts[i] + 1500) << timeouts[i];
  }
  EXPECT_EQ(patient.load(), -1);
  mutex.Release();
  patientThread.join();
  EXPECT_EQ(patient.load(), 1);
}

// A waiter cancelled while asleep in a take leaves the mutex usable: the next
// waiter gets it promptly, then the holder again. The release follows the
// cancellation at once, so the victim is often woken as it unwinds; in the
// second case the mutex is handed over to it (woken past the hand-off age, it
// found the mutex taken back and asked for it), and it must pass it on.
TEST(FastMutexTest, CancelledSleeperDoesNotWedgeIt) {
  for (const bool handOver : {false, true}) {
    for (int round = 0; round < 5; ++round) {
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

// Sleepers behind threads that release and take again in a tight loop get
// the mutex within a second, every time.
TEST(FastMutexTest, NoSleeperStarves) {
  for (const int hogCount : {1, 2}) {
    CFastMutex mutex;
    mutex.Init();
    std::atomic<bool> stop{false};
    std::atomic<long> hogRounds{0};
    std::atomic<int> late{0};
    std::vector<std::thread> hogs, sleepers;
    for (int h = 0; h < hogCount; ++h) {
      hogs.emplace_back([&] {
        for (; !stop; ++hogRounds) {
          if (mutex.Wait(nullptr, 5000) == 1) mutex.Release();
        }
      });
    }
    while (hogRounds < 1000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int s = 0; s < 1 + hogCount; ++s) {
      sleepers.emplace_back([&] {
        for (int i = 0; i < 5; ++i) {
          const auto start = Clock::now();
          const bool got = mutex.Wait(nullptr, 5000) == 1;
          late += !got || MillisSince(start) >= 1000;
          if (got) mutex.Release();
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      });
    }
    for (auto& t : sleepers) t.join();
    stop = true;
    for (auto& t : hogs) t.join();
    EXPECT_EQ(late.load(), 0) << hogCount << " hogs";
  }
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
