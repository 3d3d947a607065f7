// Command execution with real /bin/sh children: output forms, failures,
// time limits, cancellation, and no leaked descriptor or process.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "HostTestUtil.h"
#include "TLX/Thread.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;
using TLXX::CSystem;

class ExecTest : public ::testing::Test {
 protected:
  void SetUp() override { CSystem::SetCommandTimeout(10000); }
  void TearDown() override { CSystem::SetCommandTimeout(120000); }

  // Runs `/bin/sh <arguments>` in form (a).
  static int Sh(const std::string& arguments, Lines& lines) {
    return CSystem::ExecuteCommand("/bin/sh", arguments, lines);
  }

  std::string NonExecutable() {
    const std::string path = m_Dir.Write("not-executable", "#!/bin/sh\necho hi\n");
    chmod(path.c_str(), 0644);
    return path;
  }

  nimbra_test::TempDir m_Dir;
};

long long MillisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

uint64_t ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

// User and system CPU of the reaped children.
uint64_t ChildrenCpuNs() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return static_cast<uint64_t>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000000000u +
         static_cast<uint64_t>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1000u;
}

TEST_F(ExecTest, OutputFormsAndResults) {
  const struct {
    const char* arguments;
    int result;
    Lines lines;
    std::string text;
  } cases[] = {
      {R"(-c "printf 'a\nb\r\nc'")", TLXX::EXEC_OK, {"a", "b", "c"}, "abc"},
      {R"(-c "printf '\n\nx\r\n'")", TLXX::EXEC_OK, {"", "", "x"}, "x"},
      {R"(-c "printf 'a\rb\n'")", TLXX::EXEC_OK, {"a\rb"}, "a\rb"},  // only CR before LF goes
      {"-c true", TLXX::EXEC_OK, {}, ""},
      {"-c 'echo out; exit 3'", TLXX::EXEC_OK, {"out"}, "out"},        // any exit status
      {"-c 'echo err >&2; echo out'", TLXX::EXEC_OK, {"out"}, "out"},  // stderr discarded
      {"-c 'echo err >&2' 2>&1", TLXX::EXEC_OK, {"err"}, "err"},       // unless redirected
      {"-c cat", TLXX::EXEC_OK, {}, ""},                               // stdin is empty
      {"-c 'kill -KILL $$'", TLXX::EXEC_SIGNALLED, {}, ""},
      {"-c 'exit 127'", TLXX::EXEC_NOT_RUNNABLE, {}, ""},
  };
  for (const auto& c : cases) {
    Lines lines{"kept"};
    EXPECT_EQ(Sh(c.arguments, lines), c.result) << c.arguments;
    Lines expected{"kept"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(lines, expected) << c.arguments;  // form (a) appends
    std::string text = "replaced";
    EXPECT_EQ(CSystem::ExecuteCommand("/bin/sh", c.arguments, text), c.result) << c.arguments;
    EXPECT_EQ(text, c.text) << c.arguments;
  }
}

TEST_F(ExecTest, ProgramsThatCannotRun) {
  Lines lines;
  EXPECT_EQ(CSystem::ExecuteCommand("/nonexistent/tool", "--version", lines),
            TLXX::EXEC_NOT_RUNNABLE);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(CSystem::ExecuteCommand("/nonexistent/tool", "2>&1", lines), TLXX::EXEC_NOT_RUNNABLE);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("not found"), std::string::npos) << lines[0];
  lines.clear();
  EXPECT_EQ(CSystem::ExecuteCommand(NonExecutable(), "", lines), TLXX::EXEC_NOT_RUNNABLE);
  EXPECT_EQ(CSystem::ExecuteCommand(m_Dir.path(), "", lines), TLXX::EXEC_NOT_RUNNABLE);
  EXPECT_EQ(CSystem::ExecuteCommand("", "", lines), TLXX::EXEC_NOT_RUNNABLE);
  EXPECT_TRUE(lines.empty());
}

TEST_F(ExecTest, ProgramPathIsQuotedForTheShell) {
  const std::string tool = m_Dir.Write("bin dir's $HOME;x/isdct", "#!/bin/sh\necho \"$#:$1\"\n");
  chmod(tool.c_str(), 0755);
  Lines lines;
  ASSERT_EQ(CSystem::ExecuteCommand(tool, "'two words'", lines), TLXX::EXEC_OK);
  EXPECT_EQ(lines, Lines{"1:two words"});
}

TEST_F(ExecTest, FloodOfMegabytesIsReadWhole) {
  Lines lines;
  ASSERT_EQ(Sh("-c 'yes 0123456789abcdef | head -n 400000'", lines), TLXX::EXEC_OK);
  ASSERT_EQ(lines.size(), 400000u);  // 6.8 MB
  EXPECT_EQ(lines.front(), "0123456789abcdef");
  EXPECT_EQ(lines.back(), "0123456789abcdef");
  // An endless flood ends at the time limit, although output never pauses.
  CSystem::SetCommandTimeout(300);
  const auto start = Clock::now();
  EXPECT_EQ(Sh("-c 'while :; do echo 0123456789; done'", lines), TLXX::EXEC_TIMED_OUT);
  EXPECT_LT(MillisSince(start), 3000);
}

// A program that ends and one that hangs: what is left in its process group
// is killed, without waiting for it.
TEST_F(ExecTest, WhatTheProgramLeavesInItsGroupIsKilled) {
  const std::pair<const char*, int> cases[] = {
      {"-c 'sleep 30 >/dev/null & echo $!'", TLXX::EXEC_OK},
      {"-c 'sleep 30 & echo $!; wait'", TLXX::EXEC_TIMED_OUT}};
  CSystem::SetCommandTimeout(300);
  for (const auto& [arguments, result] : cases) {
    Lines lines;
    const auto start = Clock::now();
    EXPECT_EQ(Sh(arguments, lines), result) << arguments;
    EXPECT_LT(MillisSince(start), 3000);
    ASSERT_EQ(lines.size(), 1u);  // output up to the kill is delivered
    EXPECT_TRUE(nimbra_test::Dies(std::stoi(lines[0]))) << arguments;
  }
}

TEST_F(ExecTest, ClosingStdoutEarlyStillWaitsForTheExit) {
  Lines lines;
  auto start = Clock::now();
  EXPECT_EQ(Sh("-c 'echo early; exec >&-; sleep 0.3; exit 4'", lines), TLXX::EXEC_OK);
  EXPECT_GE(MillisSince(start), 300);
  EXPECT_EQ(lines, Lines{"early"});
  CSystem::SetCommandTimeout(0);  // no limit
  EXPECT_EQ(Sh("-c 'sleep 0.2'", lines), TLXX::EXEC_OK);
  // ... and the time limit still holds after the end of output.
  CSystem::SetCommandTimeout(200);
  start = Clock::now();
  EXPECT_EQ(Sh("-c 'exec >&-; sleep 30'", lines), TLXX::EXEC_TIMED_OUT);
  EXPECT_LT(MillisSince(start), 3000);
}

TEST_F(ExecTest, CancelledThreadLeavesNoChild) {
  const int childrenBefore = nimbra_test::Children();
  const std::string pids = m_Dir / "pids";
  std::atomic<bool> returned{false};
  TLX::Threading::CThread thread;
  ASSERT_TRUE(thread.Create(
      [&] {
        Lines lines;
        Sh("-c 'echo $$ > " + pids + "; sleep 30 & echo $! >> " + pids + "; wait'", lines);
        returned = true;
      },
      false));
  auto lineCount = [&] {
    const std::string text = nimbra_test::ReadFile(pids);
    return std::count(text.begin(), text.end(), '\n');
  };
  const auto start = Clock::now();
  while (lineCount() < 2 && MillisSince(start) < 5000) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const std::string text = nimbra_test::ReadFile(pids);
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_TRUE(thread.Cancel());
  EXPECT_EQ(thread.Wait(5000), 0);
  EXPECT_FALSE(returned);  // unwound, not returned
  const size_t newline = text.find('\n');
  EXPECT_TRUE(nimbra_test::Dies(std::stoi(text.substr(0, newline))));
  EXPECT_TRUE(nimbra_test::Dies(std::stoi(text.substr(newline + 1))));
  EXPECT_EQ(nimbra_test::Children(), childrenBefore);
}

TEST_F(ExecTest, RunsFromSeveralThreadsAtOnce) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        const std::string word = std::to_string(t) + "-" + std::to_string(i);
        Lines lines;
        if (Sh("-c 'echo " + word + "; echo " + word + "'", lines) != TLXX::EXEC_OK ||
            lines != Lines{word, word}) {
          ++failures;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

// The counter holds the callers' CPU inside ExecuteCommand, from every
// thread, and nothing else: not the child's CPU, not the callers' own work.
TEST_F(ExecTest, CommandCpuCountsTheCallersShareOnly) {
  uint64_t before = CSystem::CommandCpuNanoseconds();
  for (volatile uint64_t start = ThreadCpuNs(); ThreadCpuNs() - start < 20000000u;) {
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(CSystem::CommandCpuNanoseconds(), before);  // nothing ran
  // Several threads: the counter only grows, by no more than the CPU the
  // callers spent around their calls and by most of it (no share lost).
  std::atomic<uint64_t> around{0};
  std::atomic<int> notGrown{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      uint64_t seen = CSystem::CommandCpuNanoseconds();
      for (int i = 0; i < 10; ++i) {
        std::string text;
        const uint64_t start = ThreadCpuNs();
        CSystem::ExecuteCommand("/bin/true", "", text);
        around += ThreadCpuNs() - start;
        const uint64_t now = CSystem::CommandCpuNanoseconds();
        notGrown += now <= seen;  // its own run adds to it
        seen = now;
      }
    });
  }
  for (auto& t : threads) t.join();
  const uint64_t added = CSystem::CommandCpuNanoseconds() - before;
  EXPECT_EQ(notGrown.load(), 0);
  EXPECT_LE(added, around.load());
  EXPECT_GE(added, around.load() / 2);
  // A child that burns a few hundred milliseconds of CPU adds next to nothing.
  before = CSystem::CommandCpuNanoseconds();
  const uint64_t childBefore = ChildrenCpuNs();
  Lines lines;
  ASSERT_EQ(Sh("-c 'i=0; while [ $i -lt 200000 ]; do i=$((i+1)); done'", lines), TLXX::EXEC_OK);
  const uint64_t child = ChildrenCpuNs() - childBefore;
  ASSERT_GE(child, 100000000u) << "the loop is too short to tell";
  EXPECT_LT(CSystem::CommandCpuNanoseconds() - before, child / 10);
}

// After many runs of every kind, the process has as many descriptors and
// child processes as before.
// Runs in progress are counted while they last, one that times out included.
TEST_F(ExecTest, CommandsRunningCountsRunsInProgress) {
  ASSERT_EQ(CSystem::CommandsRunning(), 0u);
  CSystem::SetCommandTimeout(1000);
  std::vector<std::thread> threads;
  for (const char* script : {"-c 'sleep 0.5'", "-c 'sleep 30'"}) {
    threads.emplace_back([script] {
      Lines lines;
      Sh(script, lines);
    });
  }
  EXPECT_TRUE(nimbra_test::WaitFor([] { return CSystem::CommandsRunning() == 2; },
                                   std::chrono::seconds(2)));
  EXPECT_TRUE(nimbra_test::WaitFor([] { return CSystem::CommandsRunning() == 1; },
                                   std::chrono::seconds(2)));
  for (auto& t : threads) t.join();
  EXPECT_EQ(CSystem::CommandsRunning(), 0u);
}

TEST_F(ExecTest, NoLeakedDescriptorOrChildAfter1000Runs) {
  const std::string nonExecutable = NonExecutable();
  const int fdsBefore = nimbra_test::OpenDescriptors();
  const int childrenBefore = nimbra_test::Children();
  const struct {
    std::string program, arguments;
    int result;
  } kinds[] = {
      {"/bin/true", "", TLXX::EXEC_OK},
      {"/bin/sh", "-c 'exit 3'", TLXX::EXEC_OK},
      {"/bin/sh", "-c 'exec >&-; exit 0'", TLXX::EXEC_OK},
      {"/bin/sh", "-c 'head -c 20000 /dev/zero'", TLXX::EXEC_OK},
      {"/nonexistent/tool", "", TLXX::EXEC_NOT_RUNNABLE},
      {nonExecutable, "2>&1", TLXX::EXEC_NOT_RUNNABLE},
      {"/bin/sh", "-c 'kill -TERM $$'", TLXX::EXEC_SIGNALLED},
  };
  int wrong = 0;
  for (int i = 0; i < 1000; ++i) {
    const auto& kind = kinds[i % (sizeof(kinds) / sizeof(kinds[0]))];
    std::string text;
    if (CSystem::ExecuteCommand(kind.program, kind.arguments, text) != kind.result) ++wrong;
  }
  CSystem::SetCommandTimeout(20);
  for (int i = 0; i < 10; ++i) {
    Lines lines;
    if (Sh("-c 'sleep 30'", lines) != TLXX::EXEC_TIMED_OUT) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(nimbra_test::OpenDescriptors(), fdsBefore);
  EXPECT_EQ(nimbra_test::Children(), childrenBefore);
}

}  // namespace
