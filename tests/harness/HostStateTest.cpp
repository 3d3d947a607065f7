// What the host stand-in knows reaches the administrator through nimbra-host
// as a process; a signal ends a run whatever tool run it waits on.
#include <gtest/gtest.h>

#include "HarnessRun.h"
#include "JsonDocuments.h"

namespace {

using nimbra_test::HarnessRun;

// The worker ends in its first scan: show and get say so last, and exit with 3.
TEST(HostState, StoppedMonitoringIsReportedAndShowAndGetExitWithThree) {
  const std::string stopped = "nimbra-host: monitoring stopped at ";
  const std::string reason =
      "the plug-in's worker ended by an exception: SSD tool value "
      "'18446744073709551616' does not fit a 64-bit field";
  const HarnessRun run(R"({"drives": [{}], "faults": {"log202": "out-of-range"}})");
  for (const char* args : {"show --json", "get 0x0135000000000001 --json"}) {
    const nimbra_test::Result r = run.Run(args, 2);
    EXPECT_EQ(r.status, 3) << args;
    const size_t at = r.err.find(stopped) + stopped.size() + 19;  // past the time
    EXPECT_EQ(r.err.substr(std::min(at, r.err.size())),
              ": " + reason + " (the readings are frozen; no notification came)\n");
    const auto doc = nimbra_test::Document(r.out);
    std::string before;  // the key it follows
    for (auto it = doc.begin(); it != doc.end() && it.key() != "monitoring"; ++it)
      before = it.key();
    EXPECT_EQ(before + ": " + doc["monitoring"].dump(),
              std::string(args[0] == 's' ? "initialize" : "id") +
                  ": {\"running\":false,\"reason\":\"" + reason + "\",\"lastNotification\":null}");
  }
}

// A failure line adds the tool run stopped at its time limit in Initialize,
// or the file and reason of a failed settings write.
TEST(HostState, FailureLinesSayWhatTheHostKnows) {
  const HarnessRun hung(R"({"drives": [{}], "faults": {"show": "hang"}})");
  const HarnessRun plain(nimbra_test::DefaultFleet(1));
  const std::string missing = plain.dir() / "missing";
  EXPECT_NE(hung.Run("--tool-timeout 1 show", 1)
                .err.find("nimbra-host: initialize failed: API initialization failed (20012) (the "
                          "SSD tool run '" +
                          nimbra_test::Isdct() +
                          " show -all -intelssd' was stopped after its time limit of 1 s)\n"),
            std::string::npos);
  EXPECT_EQ(plain.Run("--config-dir '" + missing + "' set 0x0135000000000000 30005 10", 1).err,
            "nimbra-host: writing property 30005 of 0x0135000000000000 failed: general error "
            "(20000) (writing " +
                missing +
                "/Nimbra.ini: creating a temporary file beside it: No such file or directory)\n");
}

// The tool's limit is 120 s: Initialize waits on a hung inventory, or
// DeInitialize (show has printed) on a hung health read. The tree of a
// harness killed outright goes (no PID is that large), one whose harness
// lives (PID 1 does) stays.
TEST(HostState, SignalsEndTheRunWithinSecondsWhateverThePluginWaitsFor) {
  const char* const hangs[][2] = {
      {R"({"drives": [{}], "faults": {"show": "hang"}})", "upto hung 'show -all' || echo no hang"},
      {R"({"drives": [{}, {}, {}, {}], "faults": {"log2": "hang"}})",
       "upto hung LogID=2 && upto grep -q adapter out.txt || echo no hang"},
  };
  const char* const signals[] = {"TERM", "INT", "HUP", "QUIT"};
  for (int i = 0; i < 4; ++i) {
    const HarnessRun run(hangs[i % 2][0]);
    run.dir().Write("tmp/nimbra-sysfs-pid999999999-0a1b2c3d/x", "");
    run.dir().Write("tmp/nimbra-sysfs-pid1-0a1b2c3d/x", "");
    EXPECT_EQ(nimbra_test::Script(
                  run, "h --settle 1 show & pid=$!; " + std::string(hangs[i % 2][1]) +
                           "; t=$(date +%s%N); kill -" + signals[i] +
                           " $pid; wait $pid; echo $? $(( $(date +%s%N) - t < 5000000000 )); "
                           "upto gone && echo gone; ls -A tmp; tail -n 1 err.txt"),
              "1 1\ngone\n.keep\nnimbra-sysfs-pid1-0a1b2c3d\nnimbra-host: interrupted\n")
        << signals[i];
  }
}

// watch says once, when it happens, that the worker has ended, and goes on
// until Ctrl-C ends it as usual.
TEST(HostState, WatchSaysWhenTheMonitoringStops) {
  const HarnessRun run(nimbra_test::DefaultFleet(1));
  run.dir().Write("Nimbra.ini", "PollInterval=2\n");
  EXPECT_EQ(nimbra_test::Script(
                run,
                "h watch & pid=$!; upto grep -q 'watching for events' err.txt; "
                "grep -c 'monitoring stopped' err.txt; ISDCT_SIM_FLEET=\"$PWD/fleet.json\" '" +
                    nimbra_test::Isdct() +
                    "' sim-set --fleet faults.log202=out-of-range >/dev/null; "
                    "upto grep -q 'monitoring stopped' err.txt; kill -INT $pid; wait $pid; "
                    "echo $?; grep -c 'monitoring stopped' err.txt"),
            "0\n0\n1\n");
}

}  // namespace
