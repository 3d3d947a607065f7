// StopAllCommands, the end of a host process: runs in progress on other
// threads end at once whatever their program does, and later runs fail
// without starting one. It cannot be undone, so it has a process of its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>
#include <vector>

#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;
using TLXX::CSystem;

TEST(StopAllCommands, EndsEveryRunInProgressAndEveryLaterOne) {
  CSystem::SetCommandTimeout(60000);
  const int childrenBefore = nimbra_test::Children();
  const char* const runs[] = {
      "-c 'sleep 60'",                             // waits for nothing
      "-c 'sleep 60 & wait'",                      // a child holds the output
      "-c 'exec >&-; sleep 60'",                   // output closed, the program hangs
      "-c 'setsid sleep 60 & echo $!; sleep 60'",  // one out of the group holds it too
      "-c 'while :; do echo flood; done'",         // never stops writing
  };
  std::vector<int> results(std::size(runs), -1);
  std::vector<std::vector<std::string>> outputs(std::size(runs));
  std::vector<std::thread> threads;
  for (size_t i = 0; i < std::size(runs); ++i) {
    threads.emplace_back(
        [&, i] { results[i] = CSystem::ExecuteCommand("/bin/sh", runs[i], outputs[i]); });
  }
  // Every program runs: one shell per run is a child of this process.
  ASSERT_TRUE(nimbra_test::WaitFor(
      [&] { return nimbra_test::Children() == childrenBefore + int(std::size(runs)); },
      std::chrono::seconds(10)));
  EXPECT_FALSE(CSystem::CommandsStopped());
  const auto stop = Clock::now();
  CSystem::StopAllCommands();
  for (auto& t : threads) t.join();
  EXPECT_LT(Clock::now() - stop, std::chrono::seconds(2));
  EXPECT_TRUE(CSystem::CommandsStopped());
  for (size_t i = 0; i < std::size(runs); ++i) {
    EXPECT_EQ(results[i], TLXX::EXEC_STOPPED) << runs[i];
  }
  EXPECT_EQ(nimbra_test::Children(), childrenBefore);
  // The setsid one is out of reach (docs/reliability.md); it goes by hand.
  if (!outputs[3].empty()) kill(std::stoi(outputs[3].front()), SIGKILL);

  const TLXX::CommandCounters before = CSystem::Counters();
  const auto later = Clock::now();
  std::string text = "kept?";
  EXPECT_EQ(CSystem::ExecuteCommand("/bin/sh", "-c 'echo ran'", text), TLXX::EXEC_STOPPED);
  EXPECT_LT(Clock::now() - later, std::chrono::milliseconds(500));
  EXPECT_EQ(text, "");
  EXPECT_EQ(CSystem::Counters().failed, before.failed + 1);
}

}  // namespace
