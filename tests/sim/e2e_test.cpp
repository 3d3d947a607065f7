// The built bin/isdct run as a process, as the plug-in's host runs it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "FleetJson.h"
#include "FleetStore.h"
#include "SimTestSupport.h"

namespace {

using simtest::runShell;
using simtest::runTool;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(Tool, AnswersTheQueriesOfTheDefaultFleet) {
  auto show = runTool({"show", "-all", "-intelssd"}, std::nullopt);
  EXPECT_EQ(show.status, 0);
  EXPECT_EQ(count(show.out, "\n- IntelSSD ") + (show.out.rfind("- IntelSSD ", 0) == 0), 4u);
  EXPECT_EQ(show.err, "");

  auto page2 = runTool({"dump", "-intelssd", "0", "DataType=nvmelog", "LogID=2"}, std::nullopt);
  EXPECT_EQ(page2.status, 0);
  EXPECT_NE(page2.out.find("\nCritical Warnings: 0x00\n"), std::string::npos) << page2.out;

  auto version = runTool({"version"}, std::nullopt);
  EXPECT_NE(version.out.find("\nVersion: 3.0.2\n"), std::string::npos) << version.out;

  auto unknown = runTool({"show", "everything"}, std::nullopt);
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err, "");
}

TEST(Tool, ErrorStreamJoinsTheOutputThroughTheShell) {
  simtest::TempDir dir;
  const std::string fleet = dir.file("fleet.json");
  auto format = runShell(
      "start -f -intelssd 0 Function=nvmeformat LBAFormat=0 SecureEraseSetting=0 "
      "ProtectionInformation=0 MetadataSetting=0 2>&1",
      fleet);
  EXPECT_EQ(format.status, 0);
  EXPECT_NE(format.out.find("successful"), std::string::npos);

  simtest::writeFile(fleet, R"({"faults": {"delete": "stderr-only"}})");
  auto merged = runShell("delete -f -intelssd 1 2>&1", fleet);
  EXPECT_NE(merged.out.find("successful"), std::string::npos);
  auto separate = runShell("delete -f -intelssd 1", fleet);
  EXPECT_EQ(separate.out, "");
  EXPECT_NE(separate.err.find("successful"), std::string::npos);
}

TEST(Tool, BadFleetFileGivesOneLineOnStandardError) {
  simtest::TempDir dir;
  const std::string fleet = dir.file("fleet.json");
  for (const char* text : {"this is not JSON\n", R"({"drives": [{"colour": "red"}]})"}) {
    simtest::writeFile(fleet, text);
    auto r = runTool({"show", "-all", "-intelssd"}, fleet);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(count(r.err, "\n"), 1u) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
  }
}

TEST(Tool, ExitNonzeroAndHangFaults) {
  simtest::TempDir dir;
  const std::string fleet = dir.file("fleet.json");
  simtest::writeFile(fleet, R"({"faults": {"version": "exit-nonzero", "log197": "hang"}})");
  auto failed = runTool({"version"}, fleet);
  EXPECT_EQ(failed.status, 3);
  EXPECT_EQ(failed.out.rfind("Error: ", 0), 0u);

  pid_t pid =
      simtest::startTool({"dump", "-intelssd", "0", "DataType=nvmelog", "LogID=197"}, fleet);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int status = 0;
  EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the hanging tool ended by itself";
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status));
}

// Many editors at once, and readers meanwhile: no edit is lost and no reader
// sees a broken file.
TEST(Tool, ConcurrentEditsAreNeitherLostNorSeenHalfDone) {
  simtest::TempDir dir;
  const std::string fleet = dir.file("fleet.json");
  const isdctsim::Fleet initial = isdctsim::defaultFleet();
  constexpr int kAdds = 6;
  std::vector<pid_t> editors;
  for (int i = 0; i < kAdds; ++i) editors.push_back(simtest::startTool({"sim-add"}, fleet));
  for (int i = 0; i < 4; ++i) {
    editors.push_back(simtest::startTool(
        {"sim-set", initial.drives[i].serial, "temperature=" + std::to_string(60 + i)}, fleet));
  }
  int readerFailures = 0;
  for (int i = 0; i < 6; ++i) {
    auto r = runTool({"show", "-all", "-intelssd"}, fleet);
    if (r.status != 0 || r.err != "" || count(r.out, "- IntelSSD ") < 4) ++readerFailures;
  }
  for (pid_t pid : editors) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(readerFailures, 0);
  const isdctsim::Fleet final = isdctsim::FleetStore(fleet).load();
  ASSERT_EQ(final.drives.size(), 4u + kAdds);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(final.drives[i].health.temperature, 60u + i);
}

}  // namespace
