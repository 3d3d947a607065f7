// nimbra-host as a process under signals: SIGTERM, SIGINT, SIGHUP and
// SIGQUIT while Initialize waits on a hung inventory, or while a health read
// hangs under show, end the run with status 1 within a few seconds (the
// tool's limit is 120 s), with no process left and the temporary sysfs tree
// gone. A tree left by a harness killed outright is removed by the next run.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A /proc file of a process with its NULs as blanks ("" once it has gone).
std::string ProcText(const std::string& pid, const char* file) {
  std::string text = nimbra_test::ReadFile("/proc/" + pid + "/" + file);
  for (char& c : text) c = c == '\0' ? ' ' : c;
  return text;
}

// PIDs of the live processes whose environment holds `mark` (the run's
// folder: TMPDIR and ISDCT_SIM_FLEET of the harness and every tool run)
// and, when `command` is given, whose command line holds it.
std::vector<std::string> ProcessesOf(const std::string& mark, const std::string& command = "") {
  std::vector<std::string> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return pids;
  while (const dirent* entry = readdir(proc)) {
    const std::string pid = entry->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ProcText(pid, "environ").find(mark) == std::string::npos) continue;
    if (!command.empty() && ProcText(pid, "cmdline").find(command) == std::string::npos) continue;
    pids.push_back(pid);
  }
  closedir(proc);
  return pids;
}

// Entries of the run's TMPDIR other than its .keep file.
std::vector<std::string> TempEntries(const nimbra_test::HarnessRun& run) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(run.Tmp())) {
    if (e.path().filename() != ".keep") names.push_back(e.path().filename().string());
  }
  return names;
}

TEST(Signals, EndTheRunWithinSecondsWhateverThePluginWaitsFor) {
  const struct {
    const char* name;
    const char* fleet;
    const char* hungRun;  // the tool's command line while it hangs
    bool shown;           // wait for show's output: the main thread is in DeInitialize then
  } hangs[] = {
      {"hung inventory in Initialize", R"({"drives": [{}], "faults": {"show": "hang"}})",
       "show-all-intelssd", false},
      {"hung health read under show", R"({"drives": [{}, {}, {}, {}], "faults": {"log2": "hang"}})",
       "LogID=2", true},
  };
  const std::pair<int, const char*> signals[] = {
      {SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}, {SIGQUIT, "SIGQUIT"}};
  for (const auto& hang : hangs) {
    for (const auto& [signal, signalName] : signals) {
      SCOPED_TRACE(std::string(hang.name) + ", " + signalName);
      nimbra_test::HarnessRun run(hang.fleet);
      const pid_t pid = run.Start("show", 1);
      ASSERT_GT(pid, 0);
      // The tool's command line, its words run together.
      const bool hung = nimbra_test::WaitFor(
          [&] {
            for (const std::string& p : ProcessesOf(run.dir().path(), "isdct")) {
              std::string line = ProcText(p, "cmdline");
              line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
              if (line.find(hang.hungRun) != std::string::npos) return true;
            }
            return false;
          },
          std::chrono::seconds(20));
      EXPECT_TRUE(hung) << "the tool never hung";
      if (hang.shown) {
        EXPECT_TRUE(nimbra_test::WaitFor(
            [&] {
              return nimbra_test::ReadFile(run.dir() / "stdout.txt").find("adapter ") !=
                     std::string::npos;
            },
            std::chrono::seconds(20)));
      }
      const auto sent = Clock::now();
      kill(pid, signal);
      const nimbra_test::Result r = run.Finish(pid, std::chrono::seconds(30));
      EXPECT_LT(Clock::now() - sent, std::chrono::seconds(5));
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_NE(r.err.find("nimbra-host: interrupted\n"), std::string::npos) << r.err;
      EXPECT_TRUE(nimbra_test::WaitFor([&] { return ProcessesOf(run.dir().path()).empty(); },
                                       std::chrono::seconds(2)))
          << "a process of the run is left";
      EXPECT_EQ(TempEntries(run), std::vector<std::string>{});
    }
  }
}

// The PID of a process that has ended (and been reaped).
pid_t DeadPid() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

TEST(Signals, TheNextRunRemovesTheTreesOfHarnessesKilledOutright) {
  nimbra_test::HarnessRun run(nimbra_test::DefaultFleet(1));
  const std::string dead = std::to_string(DeadPid());
  const std::string alive = std::to_string(getpid());
  const struct {
    std::string name;
    bool folder;
    bool removed;
  } entries[] = {
      {"nimbra-sysfs-pid" + dead + "-0a1b2c3d", true, true},    // its harness is gone
      {"nimbra-sysfs-pid" + alive + "-0a1b2c3d", true, false},  // its harness still runs
      {"nimbra-sysfs-pid" + dead + "-file", false, false},      // not a folder
      {"nimbra-sysfs-" + dead + "-0a1b", true, false},          // not a name of ours
  };
  for (const auto& e : entries) {
    run.dir().Write("tmp/" + e.name + (e.folder ? "/bus/pci/devices/x" : ""), "x");
  }
  const nimbra_test::Result r = run.Run("show", 1);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const auto& e : entries) {
    EXPECT_EQ(fs::exists(run.Tmp() + "/" + e.name), !e.removed) << e.name;
  }
  EXPECT_EQ(TempEntries(run).size(), 3u);  // the kept ones; the run's own tree is gone
}

}  // namespace
