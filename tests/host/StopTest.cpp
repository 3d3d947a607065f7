// StopAllCommands ends every run in progress at once and every later one
// before it starts. It cannot be undone: a process of its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using TLXX::CSystem;

// The run's output is held by a grandchild out of its group's reach.
TEST(StopAllCommands, EndsEveryRunInProgressAndEveryLaterOne) {
  CSystem::SetCommandTimeout(60000);
  const int children = nimbra_test::Children();
  std::vector<std::string> held;
  int result = -1;
  std::thread run([&] {
    result = CSystem::ExecuteCommand("/bin/sh", "-c 'setsid sleep 60 & echo $!; sleep 60'", held);
  });
  EXPECT_TRUE(nimbra_test::WaitFor([&] { return nimbra_test::Children() > children; },
                                   std::chrono::seconds(10)));
  const auto stop = std::chrono::steady_clock::now();
  CSystem::StopAllCommands();
  run.join();
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(2));
  EXPECT_EQ(result, TLXX::EXEC_STOPPED);
  EXPECT_EQ(nimbra_test::Children(), children);
  if (!held.empty()) kill(std::stoi(held.front()), SIGKILL);
  std::string text = "kept?";
  EXPECT_EQ(CSystem::ExecuteCommand("/bin/sh", "-c 'echo ran'", text), TLXX::EXEC_STOPPED);
  EXPECT_EQ(text, "");
}

}  // namespace
