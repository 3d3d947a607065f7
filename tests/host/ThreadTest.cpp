// Threads (wait, cancel, escaping exceptions), msleep and trace streams.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "HostTestUtil.h"
#include "TLX/Event.h"
#include "TLX/Misc.h"
#include "TLX/Mutex.h"
#include "TLX/Thread.h"
#include "TLX/Trace.h"
#include "TestSupport.h"

namespace {

using TLX::Threading::CEvent;
using TLX::Threading::CThread;
using TLX::Threading::kInfinite;
using TLX::Threading::kWaitTimeout;
using Clock = std::chrono::steady_clock;

// Sets a flag when destroyed: proves that a cancelled routine was unwound.
struct Unwound {
  std::atomic<bool>& flag;
  ~Unwound() { flag = true; }
};

// Routes trace output to a file for one test.
class TraceFile {
 public:
  TraceFile() : m_Path(m_Dir / "trace.log") { EXPECT_TRUE(TLX::Internals::SetTraceFile(m_Path)); }
  ~TraceFile() { TLX::Internals::SetTraceFile(""); }
  std::string Text() const { return nimbra_test::ReadFile(m_Path); }

 private:
  nimbra_test::TempDir m_Dir;
  std::string m_Path;
};

TEST(ThreadTest, WaitReportsRunningThenEnded) {
  CEvent release;
  release.Init(false, false);
  CThread thread;
  EXPECT_EQ(thread.Wait(0), 0);  // never started
  EXPECT_FALSE(thread.HasNativeThread());
  EXPECT_FALSE(thread.Create([] {}, true));  // suspended start is not offered
  ASSERT_TRUE(thread.Create([&] { release.Wait(kInfinite); }, false));
  EXPECT_FALSE(thread.Create([] {}, false));  // one thread per object
  EXPECT_TRUE(thread.HasNativeThread());
  EXPECT_EQ(thread.Wait(0), kWaitTimeout);
  EXPECT_EQ(thread.Wait(20), kWaitTimeout);
  release.Set();
  EXPECT_EQ(thread.Wait(10000), 0);
  EXPECT_FALSE(thread.HasNativeThread());
  EXPECT_EQ(thread.Wait(0), 0);
  EXPECT_FALSE(thread.Cancel());
}

TEST(ThreadTest, CancelUnwindsABlockedRoutine) {
  TLX::Threading::Native_OS::CFastMutex held;
  held.Init();
  ASSERT_EQ(held.Wait(nullptr), 1);
  const struct {
    const char* name;
    std::function<void()> block;
  } cases[] = {
      {"msleep", [] { TLX::Misc::msleep(60000); }},
      {"event",
       [] {
         CEvent never;
         never.Init(false, false);
         never.Wait(kInfinite);
       }},
      {"timed event",
       [] {
         CEvent never;
         never.Init(false, false);
         never.Wait(60000);
       }},
      {"mutex", [&held] { held.Wait(nullptr, kInfinite); }},
      {"timed mutex", [&held] { held.Wait(nullptr, 60000); }},
  };
  for (const auto& c : cases) {
    std::atomic<bool> started{false}, unwound{false};
    CThread thread;
    ASSERT_TRUE(thread.Create(
        [&] {
          Unwound guard{unwound};
          started = true;
          c.block();
        },
        false));
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(thread.Wait(0), kWaitTimeout) << c.name;
    EXPECT_TRUE(thread.Cancel()) << c.name;
    EXPECT_EQ(thread.Wait(10000), 0) << c.name;
    EXPECT_TRUE(unwound) << c.name;
  }
  EXPECT_TRUE(held.IsOwner());  // the cancelled waiter never took it
  held.Release();
}

TEST(ThreadTest, DestroyingARunningThreadCancelsAndJoinsIt) {
  std::atomic<bool> unwound{false};
  {
    CThread thread;
    ASSERT_TRUE(thread.Create(
        [&] {
          Unwound guard{unwound};
          TLX::Misc::msleep(60000);
        },
        false));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(unwound);
}

TEST(ThreadTest, AnEscapingExceptionIsTracedNotFatal) {
  TraceFile trace;
  CThread a, b;
  ASSERT_TRUE(a.Create([] { throw std::runtime_error("disk on fire"); }, false));
  ASSERT_TRUE(b.Create([] { throw 42; }, false));
  EXPECT_EQ(a.Wait(10000), 0);
  EXPECT_EQ(b.Wait(10000), 0);
  const std::string text = trace.Text();
  EXPECT_NE(text.find("hostfw L1"), std::string::npos) << text;
  EXPECT_NE(text.find("disk on fire"), std::string::npos) << text;
  EXPECT_NE(text.find("unknown exception"), std::string::npos) << text;
}

TEST(MsleepTest, SleepsAtLeastTheTime) {
  const auto start = Clock::now();
  TLX::Misc::msleep(50);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(50));
}

// "2024-05-01 12:00:00.123 [4711] TraceMod L2 Src/Nimbra:10T Value: (xxx...) "
// with 50 equal letters, or one of the two level-16 lines.
bool WellFormed(const std::string& line) {
  int y, mo, d, h, mi, s, ms, tid, used = -1;
  if (sscanf(line.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d [%d] %n", &y, &mo, &d, &h, &mi, &s, &ms,
             &tid, &used) != 8 ||
      used < 0 || line.compare(used, 9, "TraceMod ") != 0) {
    return false;
  }
  const std::string rest = line.substr(used + 9);
  if (rest.compare(0, 20, "L16 Src/NimbraPlugin") == 0) return true;
  if (rest.size() != 78 || rest.compare(0, 16, "L2 Src/Nimbra:10") != 0 ||
      rest.compare(17, 9, " Value: (") != 0 || rest.compare(76, 2, ") ") != 0) {
    return false;
  }
  const char digit = rest[16], letter = rest[26];
  return digit >= '0' && digit <= '3' && letter == 'a' + (digit - '0') &&
         rest.find_first_not_of(letter, 26) == 76;
}

TEST(TraceTest, WritesOnlyEnabledLevelsAsWholeLines) {
  TraceFile trace;
  TLX::Language_Support::CLanguageSupport::CLngFile lng("t.nls", 1, "UTF-8", 0, nullptr, 0);
  TLX::Misc::CModuleInfo module(309, "TraceMod", "1.0", lng, nullptr, 0);
  module.SetTraceMask(2 | 16);
  constexpr int kThreads = 4, kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLines; ++i) {
        TLX::Internals::CTraceStreamBuffer(2, module, "Src/Nimbra", 100 + t)
            << "Value: (" << std::string(50, 'a' + t) << ") " << nullptr;
        TLX::Internals::CTraceStreamBuffer(4, module, "Src/Nimbra", 1) << "never written";
      }
    });
  }
  for (auto& t : threads) t.join();
  TLX::Internals::CTraceStreamBuffer(16, module, "Src/NimbraPlugin", 7)
      << "ret = " << std::string("a\nb");
  TLX::Internals::CTraceStreamBuffer(16, module, "Src/NimbraPlugin", 8).FormatInt(-5);

  std::istringstream lines(trace.Text());
  std::string text;
  int count = 0;
  while (std::getline(lines, text)) {
    EXPECT_TRUE(WellFormed(text)) << text;
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines + 2);
  EXPECT_NE(trace.Text().find("ret = a b\n"), std::string::npos);  // one line per statement
  EXPECT_NE(trace.Text().find("Src/NimbraPlugin:8 -5\n"), std::string::npos);
}

TEST(TraceTest, UnopenableFileKeepsTheDestination) {
  EXPECT_FALSE(TLX::Internals::SetTraceFile("/nonexistent-folder/trace.log"));
  EXPECT_TRUE(TLX::Internals::SetTraceFile(""));
}

}  // namespace
