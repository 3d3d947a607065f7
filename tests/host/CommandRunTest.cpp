// Command runs as a host sees them over time: a program that has exited ends
// its run although something it started holds the output; floods end at the
// caps with a bounded peak of memory; every run is counted and the last one
// killed at its time limit is kept.
#include <gtest/gtest.h>
#include <malloc.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "TLXX/System.h"
#include "TLXX/SystemTime.h"
#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;
using TLXX::CSystem;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

class CommandRunTest : public ::testing::Test {
 protected:
  void SetUp() override { CSystem::SetCommandTimeout(20000); }
  void TearDown() override { CSystem::SetCommandTimeout(120000); }
};

long long MillisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool Alive(pid_t pid) {
  const std::string stat = nimbra_test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z';
}

// The program's own output and what its children wrote before it exited
// come back in full, long before the 20 s limit; what stayed in the group is
// killed. A setsid grandchild ends the run the same way but is out of reach.
// Each writes the PID it left behind to a file (P); F tells the parent that
// the child has written.
TEST_F(CommandRunTest, AnExitedProgramEndsItsRunThoughAChildHoldsItsOutput) {
  const struct {
    const char* script;
    Lines lines;
    bool survives;
  } cases[] = {
      {"sleep 30 & echo $! >P", {}, false},
      {"sleep 30 & echo $! >P; echo done", {"done"}, false},
      {"(echo child; touch F; exec sleep 30) & echo $! >P; until [ -e F ]; do sleep 0.01; done; "
       "echo parent",
       {"child", "parent"},
       false},
      {"setsid sleep 30 & echo $! >P", {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    nimbra_test::TempDir dir;
    Lines lines;
    const auto start = Clock::now();
    EXPECT_EQ(CSystem::ExecuteCommand("/bin/sh", "-c 'cd \"" + dir.path() + "\"; " + c.script + "'",
                                      lines),
              TLXX::EXEC_OK);
    EXPECT_LT(MillisSince(start), 5000);
    EXPECT_EQ(lines, c.lines);
    const pid_t background = std::stoi("0" + nimbra_test::ReadFile(dir / "P"));
    ASSERT_GT(background, 0);
    const bool alive =
        !nimbra_test::WaitFor([&] { return !Alive(background); }, std::chrono::seconds(3));
    EXPECT_EQ(alive, c.survives);
    if (alive) kill(background, SIGKILL);
  }
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM).
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, key.size(), key) == 0) return std::stol(line.substr(key.size()));
  }
  return -1;
}

// Gives freed heap back to the system, so that a run's peak is not hidden in
// memory an earlier run left, and resets the resident-set high-water mark
// to the current size; false when the kernel cannot.
bool ResetPeak() {
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusKiB("VmHWM") - StatusKiB("VmRSS") < 1024;
}

// 200 MB floods of every shape end at the caps; each run's peak stays within
// the bound System.h states (4 x the byte cap + 4 MiB with lines, 1 x with
// one text). The figures are printed; the bound is checked without the
// sanitizers, whose allocators keep freed memory in quarantine.
TEST_F(CommandRunTest, FloodsEndAtTheCapsWithinTheMemoryBound) {
  const struct {
    const char* name;
    const char* arguments;
  } floods[] = {
      {"empty lines", R"(-c "head -c 200000000 /dev/zero | tr '\\0' '\\n'")"},
      {"16-byte lines", "-c 'yes 0123456789abcdef | head -c 200000000'"},
      {"200-byte lines", "-c 'yes \"$(printf %0200d 0)\" | head -c 200000000'"},
      {"no line end", "-c 'head -c 200000000 /dev/zero'"},
  };
  constexpr long kCapKiB = static_cast<long>(CSystem::kMaxOutputBytes / 1024);
  for (const auto& f : floods) {
    for (const bool asLines : {true, false}) {
      SCOPED_TRACE(std::string(f.name) + (asLines ? ", lines" : ", text"));
      int result = 0;
      size_t count = 0;
      const bool measured = ResetPeak();
      const long base = StatusKiB("VmRSS");
      {
        Lines lines;
        std::string text;
        result = asLines ? CSystem::ExecuteCommand("/bin/sh", f.arguments, lines)
                         : CSystem::ExecuteCommand("/bin/sh", f.arguments, text);
        count = asLines ? lines.size() : text.size();
        EXPECT_LE(lines.size(), CSystem::kMaxOutputLines + 65536);
        EXPECT_LE(text.size(), CSystem::kMaxOutputBytes + 65536);
      }
      const long peak = StatusKiB("VmHWM") - base;
      EXPECT_EQ(result, TLXX::EXEC_OUTPUT_TOO_LARGE);
      std::cout << f.name << (asLines ? " as lines: " : " as text: ") << count
                << (asLines ? " lines" : " bytes") << ", peak +" << peak << " KiB\n";
      if (measured && !kSanitized) {
        EXPECT_LE(peak, (asLines ? 4 : 1) * kCapKiB + 4096);
      }
    }
  }
}

TEST_F(CommandRunTest, RunsAreCountedAndTheLastTimeOutIsKept) {
  const TLXX::CommandCounters before = CSystem::Counters();
  Lines lines;
  EXPECT_EQ(CSystem::ExecuteCommand("/bin/sh", "-c 'echo ok'", lines), TLXX::EXEC_OK);
  EXPECT_EQ(CSystem::ExecuteCommand("/nonexistent/tool", "x", lines), TLXX::EXEC_NOT_RUNNABLE);
  CSystem::SetCommandTimeout(200);
  const uint64_t start = TLXX::CSystemTime_Lx::Now();
  EXPECT_EQ(CSystem::ExecuteCommand("/bin/sh", "-c 'sleep 30' 2>&1", lines), TLXX::EXEC_TIMED_OUT);
  const TLXX::CommandCounters after = CSystem::Counters();
  EXPECT_EQ(after.runs, before.runs + 3);
  EXPECT_EQ(after.failed, before.failed + 2);
  EXPECT_EQ(after.timedOut, before.timedOut + 1);
  TLXX::TimedOutRun run;
  ASSERT_TRUE(CSystem::LastTimedOutRun(run));
  EXPECT_EQ(run.program, "/bin/sh");
  EXPECT_EQ(run.arguments, "-c 'sleep 30' 2>&1");
  EXPECT_EQ(run.limitMs, 200u);
  EXPECT_GE(run.timeMs, start);
  EXPECT_LE(run.timeMs, TLXX::CSystemTime_Lx::Now());
  EXPECT_EQ(run.sequence, after.timedOut);
}

}  // namespace
