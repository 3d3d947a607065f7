// Every CThread routine's end is logged with how it ended and when, and the
// running count follows the routines, so that a host can tell a plug-in's
// thread is gone and why.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include "TLX/Misc.h"
#include "TLX/Thread.h"
#include "TLXX/SystemTime.h"
#include "TestSupport.h"

namespace {

using TLX::Threading::CThread;
using TLX::Threading::ThreadEnding;
using How = ThreadEnding::How;

TEST(ThreadEnding, EachWayOutIsLoggedWithItsTextAndTime) {
  const struct {
    const char* name;
    void (*body)();
    bool cancel;
    How how;
    const char* what;
    const char* described;
  } cases[] = {
      {"returns", [] {}, false, How::kReturned, "", "returned"},
      {"throws", [] { throw std::out_of_range("value '1e99' does not fit"); }, false,
       How::kException, "value '1e99' does not fit",
       "ended by an exception: value '1e99' does not fit"},
      {"throws an int", [] { throw 42; }, false, How::kException, "unknown exception",
       "ended by an exception: unknown exception"},
      {"cancelled",
       [] {
         for (;;) TLX::Misc::msleep(10);
       },
       true, How::kCancelled, "", "cancelled"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const unsigned runningBefore = TLX::Threading::RunningRoutines();
    const uint64_t start = TLXX::CSystemTime_Lx::Now();
    std::atomic<bool> go{false};
    CThread thread;
    ASSERT_TRUE(thread.Create(
        [&] {
          while (!go) TLX::Misc::msleep(1);
          c.body();
        },
        false));
    EXPECT_EQ(TLX::Threading::RunningRoutines(), runningBefore + 1);
    go = true;
    if (c.cancel) {
      TLX::Misc::msleep(20);
      EXPECT_TRUE(thread.Cancel());
    }
    ASSERT_EQ(thread.Wait(5000), 0);
    EXPECT_EQ(TLX::Threading::RunningRoutines(), runningBefore);
    const std::vector<ThreadEnding> endings = TLX::Threading::RecentEndings();
    ASSERT_FALSE(endings.empty());
    const ThreadEnding& e = endings.back();
    EXPECT_EQ(e.how, c.how);
    EXPECT_EQ(e.what, c.what);
    EXPECT_EQ(TLX::Threading::Describe(e), c.described);
    EXPECT_GE(e.timeMs, start);
    EXPECT_LE(e.timeMs, TLXX::CSystemTime_Lx::Now());
    EXPECT_EQ(e.sequence, TLX::Threading::EndingCount());
  }
}

// Routines ending at once on many threads: each ending is counted once, the
// log keeps the last ones in order, and nothing counts as running after.
TEST(ThreadEnding, ConcurrentEndingsAreAllCountedAndTheLogStaysBounded) {
  const unsigned runningBefore = TLX::Threading::RunningRoutines();
  const uint64_t countBefore = TLX::Threading::EndingCount();
  constexpr int kThreads = 40;
  std::atomic<bool> go{false};
  std::vector<std::unique_ptr<CThread>> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.push_back(std::make_unique<CThread>());
    ASSERT_TRUE(threads.back()->Create(
        [&go, i] {
          while (!go) TLX::Misc::msleep(1);
          if (i % 2 != 0) throw std::runtime_error("odd");
        },
        false));
  }
  EXPECT_EQ(TLX::Threading::RunningRoutines(), runningBefore + kThreads);
  go = true;
  for (auto& t : threads) ASSERT_EQ(t->Wait(5000), 0);
  EXPECT_EQ(TLX::Threading::RunningRoutines(), runningBefore);
  EXPECT_EQ(TLX::Threading::EndingCount(), countBefore + kThreads);
  const std::vector<ThreadEnding> endings = TLX::Threading::RecentEndings();
  ASSERT_EQ(endings.size(), TLX::Threading::kKeptEndings);
  for (size_t i = 0; i < endings.size(); ++i) {
    EXPECT_EQ(endings[i].sequence, countBefore + kThreads - endings.size() + 1 + i);
  }
}

}  // namespace
