// What the host stand-in knows reaches the administrator through
// nimbra-host as a process: a worker ended by a conversion error (a stderr
// line, "monitoring" in the JSON, exit status 3; watch says so when it
// happens), a tool run stopped at its time limit during Initialize, and the
// file and reason of a settings write that failed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace {

using Json = nlohmann::ordered_json;

const char kStoppedFleet[] = R"({"drives": [{}], "faults": {"log202": "out-of-range"}})";
const char kStopped[] = "nimbra-host: monitoring stopped at ";
const char kWhy[] =
    ": the plug-in's worker ended by an exception: SSD tool value '18446744073709551616' does "
    "not fit a 64-bit field (the readings are frozen; ";

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::vector<std::string> Keys(const Json& object) {
  std::vector<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.push_back(it.key());
  return keys;
}

TEST(HostState, StoppedMonitoringIsReportedAndShowAndGetExitWithThree) {
  const std::string adapter = "0x0135000000000001";
  const struct {
    std::string args;
    std::vector<std::string> keys;  // of the JSON document; none for text
  } commands[] = {
      {"show", {}},
      {"show --json", {"initialize", "monitoring", "adapterIds", "objects"}},
      {"get " + adapter + " 30017", {}},
      {"get " + adapter + " --json", {"id", "monitoring", "properties"}},
  };
  const auto start = std::chrono::system_clock::now();
  for (const bool stopped : {true, false}) {
    nimbra_test::HarnessRun run(stopped ? kStoppedFleet : nimbra_test::DefaultFleet(1));
    for (const auto& c : commands) {
      SCOPED_TRACE(c.args + (stopped ? ", worker ended" : ", worker running"));
      const nimbra_test::Result r = run.Run(c.args, stopped ? 2 : 10);
      EXPECT_EQ(r.status, stopped ? 3 : 0) << r.err;
      EXPECT_EQ(Count(r.err, kStopped), stopped ? 1 : 0) << r.err;
      EXPECT_EQ(Count(r.err, kWhy), stopped ? 1 : 0) << r.err;
      if (c.keys.empty()) {
        EXPECT_NE(r.out.find(c.args == "show" ? "adapter " + adapter : "Status"),
                  std::string::npos);
        continue;
      }
      const Json doc = Json::parse(r.out, nullptr, false);
      ASSERT_FALSE(doc.is_discarded()) << r.out;
      EXPECT_EQ(Keys(doc), c.keys);
      const Json& m = doc["monitoring"];
      EXPECT_EQ(Keys(m), (std::vector<std::string>{"running", "reason", "lastNotification"}));
      EXPECT_EQ(m["running"], !stopped);
      if (stopped) {
        const std::string reason = m["reason"].get<std::string>();
        EXPECT_NE(reason.find("does not fit a 64-bit field"), std::string::npos) << reason;
        EXPECT_TRUE(m["lastNotification"].is_null());  // it ended in its first scan
      } else {
        EXPECT_TRUE(m["reason"].is_null());
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch());
        EXPECT_GE(m["lastNotification"].get<int64_t>(), ms.count());
      }
    }
  }
}

// The worker ends while watch runs: one line when it happens; watch goes on
// until it is stopped and exits 0.
TEST(HostState, WatchSaysOnceWhenTheMonitoringStops) {
  nimbra_test::HarnessRun run(nimbra_test::DefaultFleet(1));
  run.dir().Write("Nimbra.ini", "PollInterval=2\n");
  const pid_t pid = run.Start("watch", 10);
  ASSERT_GT(pid, 0);
  const std::string err = run.dir() / "stderr.txt";
  ASSERT_TRUE(nimbra_test::WaitFor(
      [&] { return nimbra_test::ReadFile(err).find("watching for events") != std::string::npos; },
      std::chrono::seconds(20)))
      << nimbra_test::ReadFile(err);
  EXPECT_EQ(Count(nimbra_test::ReadFile(err), kStopped), 0);
  std::string edit;
  EXPECT_EQ(nimbra_test::RunShell("ISDCT_SIM_FLEET='" + run.Fleet() + "' '" + nimbra_test::Isdct() +
                                      "' sim-set --fleet faults.log2=out-of-range "
                                      "faults.log197=out-of-range faults.log202=out-of-range",
                                  &edit),
            0)
      << edit;
  const bool said = nimbra_test::WaitFor(
      [&] { return Count(nimbra_test::ReadFile(err), kStopped) > 0; }, std::chrono::seconds(30));
  EXPECT_TRUE(said) << nimbra_test::ReadFile(err);
  kill(pid, SIGINT);
  const nimbra_test::Result r = run.Finish(pid, std::chrono::seconds(30));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.err, kStopped), 1) << r.err;
}

TEST(HostState, AHungToolInInitializeNamesTheRunAndItsTimeLimit) {
  nimbra_test::HarnessRun run(R"({"drives": [{}], "faults": {"show": "hang"}})");
  const nimbra_test::Result r = run.Run("--tool-timeout 1 show");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("nimbra-host: initialize failed: API initialization failed (20012) (the "
                       "SSD tool run '" +
                       nimbra_test::Isdct() +
                       " show -all -intelssd' was stopped after its time limit of 1 s)\n"),
            std::string::npos)
      << r.err;
}

// What the system says when a file is created in `dir`.
std::string CreateError(const std::string& dir) {
  const std::string probe = dir + "/.probe";
  const int fd = open(probe.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
  if (fd >= 0) {
    close(fd);
    unlink(probe.c_str());
    return "";
  }
  return std::strerror(errno);
}

// A read-only configuration folder, also for root, whom permission bits do
// not stop: a read-only bind mount in a mount namespace of the harness's
// own, else an immutable folder. A write into it fails with the system's
// reason, named with the file in the failure line.
TEST(HostState, AFailedSettingsWriteNamesTheFileAndTheReason) {
  nimbra_test::HarnessRun run(nimbra_test::DefaultFleet(1));
  run.dir().Write("ro/.keep", "");
  const std::string folder = run.dir() / "ro";
  std::string prefix, reason;
  bool immutable = false;
  if (geteuid() != 0) {
    chmod(folder.c_str(), 0555);
    reason = CreateError(folder);
  } else if (nimbra_test::RunShell("unshare -m true 2>/dev/null") == 0) {
    prefix =
        "unshare -m sh -c 'mount --bind \"$1\" \"$1\" && mount -o remount,bind,ro \"$1\" && "
        "shift && exec \"$@\"' sh '" +
        folder + "'";
    reason = std::strerror(EROFS);
  } else if (nimbra_test::RunShell("chattr +i '" + folder + "' 2>/dev/null") == 0) {
    immutable = true;
    reason = CreateError(folder);
  }
  if (reason.empty()) GTEST_SKIP() << "no way to make a folder read-only here";
  const nimbra_test::Result r =
      run.RunWith(prefix, "--config-dir '" + folder + "' set 0x0135000000000000 30005 10", 1);
  if (immutable) nimbra_test::RunShell("chattr -i '" + folder + "'");
  chmod(folder.c_str(), 0755);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "nimbra-host: writing property 30005 of 0x0135000000000000 failed: general error "
            "(20000) (writing " +
                folder + "/Nimbra.ini: creating a temporary file beside it: " + reason + ")\n");
}

}  // namespace
