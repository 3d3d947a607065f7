// Command execution with real /bin/sh children: output forms and results
// (also from four threads at once), the time limit and the process-group
// kill, a child holding the pipe, the output cap, and no leak after any.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;
using TLXX::CSystem;

// Every case ends with as many descriptors and children as it began with.
class ExecTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CSystem::SetCommandTimeout(10000);
    m_Descriptors = nimbra_test::OpenDescriptors();
    m_Children = nimbra_test::Children();
  }
  void TearDown() override {
    CSystem::SetCommandTimeout(120000);
    EXPECT_EQ(nimbra_test::OpenDescriptors(), m_Descriptors);
    EXPECT_EQ(nimbra_test::Children(), m_Children);
  }

  // Runs `/bin/sh <arguments>` in form (a).
  static int Sh(const std::string& arguments, Lines& lines) {
    return CSystem::ExecuteCommand("/bin/sh", arguments, lines);
  }

  nimbra_test::TempDir m_Dir;
  int m_Descriptors = 0, m_Children = 0;
};

// Waits up to three seconds for a killed process to end (or become a
// zombie); true when it has.
bool Dies(pid_t pid) {
  return nimbra_test::WaitFor(
      [pid] {
        const std::string stat = nimbra_test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        return close == std::string::npos || stat.size() <= close + 2 || stat[close + 2] == 'Z';
      },
      std::chrono::seconds(3));
}

long long MillisSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Each case alone, then all from four threads at once, each thread also
// echoing words of its own.
TEST_F(ExecTest, OutputFormsAndResults) {
  const std::string notExecutable = m_Dir.Write("not-executable", "#!/bin/sh\necho hi\n");
  chmod(notExecutable.c_str(), 0644);
  const struct {
    std::string program, arguments;
    int result;
    Lines lines;
    std::string text;
  } cases[] = {
      {"/bin/sh", R"(-c "printf 'a\nb\r\nc'")", TLXX::EXEC_OK, {"a", "b", "c"}, "abc"},
      {"/bin/sh", R"(-c "printf '\n\nx\r\n'")", TLXX::EXEC_OK, {"", "", "x"}, "x"},
      {"/bin/sh", R"(-c "printf 'a\rb\n'")", TLXX::EXEC_OK, {"a\rb"}, "a\rb"},    // CR stays
      {"/bin/sh", "-c 'echo out; exit 3'", TLXX::EXEC_OK, {"out"}, "out"},        // any exit status
      {"/bin/sh", "-c 'echo err >&2; echo out'", TLXX::EXEC_OK, {"out"}, "out"},  // no stderr
      {"/bin/sh", "-c 'echo err >&2' 2>&1", TLXX::EXEC_OK, {"err"}, "err"},  // unless redirected
      {"/bin/sh", "-c cat", TLXX::EXEC_OK, {}, ""},                          // stdin is empty
      {"/bin/sh", "-c 'kill -KILL $$'", TLXX::EXEC_SIGNALLED, {}, ""},
      {"/nonexistent/tool", "--version", TLXX::EXEC_NOT_RUNNABLE, {}, ""},
      {notExecutable, "", TLXX::EXEC_NOT_RUNNABLE, {}, ""},
      {"", "", TLXX::EXEC_NOT_RUNNABLE, {}, ""},
  };
  for (const auto& c : cases) {
    Lines lines{"kept"};
    EXPECT_EQ(CSystem::ExecuteCommand(c.program, c.arguments, lines), c.result) << c.arguments;
    Lines expected{"kept"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(lines, expected) << c.arguments;  // form (a) appends
    std::string text = "replaced";
    EXPECT_EQ(CSystem::ExecuteCommand(c.program, c.arguments, text), c.result) << c.arguments;
    EXPECT_EQ(text, c.text) << c.arguments;
  }
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        for (const auto& c : cases) {
          Lines lines;
          wrong += CSystem::ExecuteCommand(c.program, c.arguments, lines) != c.result;
          wrong += lines != c.lines;
        }
        const std::string word = std::to_string(t) + "-" + std::to_string(i);
        Lines lines;
        wrong += Sh("-c 'echo $0' " + word, lines) != TLXX::EXEC_OK || lines != Lines{word};
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

// Megabytes are read whole; an endless flood ends at the time limit although
// output never pauses, and one faster than that at the output cap.
TEST_F(ExecTest, LargeOutputs) {
  Lines lines;
  ASSERT_EQ(Sh("-c 'yes 0123456789abcdef | head -n 400000'", lines), TLXX::EXEC_OK);
  ASSERT_EQ(lines.size(), 400000u);  // 6.8 MB
  EXPECT_EQ(lines.back(), "0123456789abcdef");
  std::string text;
  // 256 MiB through TSan's reads take a minute, and the cap is no thread matter.
#ifndef __SANITIZE_THREAD__
  CSystem::SetCommandTimeout(0);
  EXPECT_EQ(CSystem::ExecuteCommand("/bin/cat", "/dev/zero", text), TLXX::EXEC_OUTPUT_TOO_LARGE);
  EXPECT_GT(text.size(), CSystem::kMaxOutputBytes);
#endif
  text = std::string();
  CSystem::SetCommandTimeout(100);  // a shell loop prints far fewer lines than the cap in that time
  const auto start = Clock::now();
  EXPECT_EQ(Sh("-c 'while :; do echo 0123456789; done'", lines), TLXX::EXEC_TIMED_OUT);
  EXPECT_LT(MillisSince(start), 3000);
}

// What the program leaves in its process group is killed without waiting for
// it, also when it holds the pipe, or the program closed its output early and
// hangs (the time limit still holds); output up to the kill is delivered.
TEST_F(ExecTest, WhatTheProgramLeavesInItsGroupIsKilled) {
  const std::pair<const char*, int> cases[] = {
      {"-c 'sleep 30 >/dev/null & echo $!'", TLXX::EXEC_OK},
      {"-c 'sleep 30 & echo $!'", TLXX::EXEC_OK},  // the child holds the pipe: a short drain
      {"-c 'sleep 30 & echo $!; wait'", TLXX::EXEC_TIMED_OUT},
      {"-c 'sleep 30 >/dev/null & echo $!; exec >&-; sleep 30'", TLXX::EXEC_TIMED_OUT}};
  CSystem::SetCommandTimeout(300);
  for (const auto& [arguments, result] : cases) {
    Lines lines;
    const auto start = Clock::now();
    EXPECT_EQ(Sh(arguments, lines), result) << arguments;
    EXPECT_LT(MillisSince(start), 3000);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Dies(std::stoi(lines[0]))) << arguments;
  }
}

}  // namespace
