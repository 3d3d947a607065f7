// The built bin/isdct run as a process through /bin/sh, as the host runs it:
// streams, exit statuses, a hang, and concurrent editors of one fleet file.
#include <gtest/gtest.h>

#include "Fleet.h"
#include "FleetStore.h"
#include "TestSupport.h"

namespace {

using nimbra_test::RunShell;

// A shell prefix that runs the tool on the fleet file `fleet` as $T.
std::string With(const std::string& fleet) {
  return "export ISDCT_SIM_FLEET='" + fleet + "'; T='" + nimbra_test::BuildDir() + "/bin/isdct'; ";
}

TEST(Tool, AnswersOnStandardOutputAndErrorsOnStandardErrorWithTheirStatus) {
  nimbra_test::TempDir dir;
  const std::string prefix = With(dir / "fleet.json");
  struct Case {
    const char* command;
    int status;
    const char* first;  // first line of the captured stream
  };
  const Case cases[] = {
      {"\"$T\" version 2>/dev/null", 0, "isdct - SSD command-line tool (simulated drives)"},
      {"\"$T\" show everything 2>&1 >/dev/null", 1, "isdct: unknown command line: show everything"},
      {"\"$T\" show everything 2>/dev/null", 1, ""},
      {"\"$T\" delete -f -intelssd 1 2>&1", 0, "- IntelSSD CVFT5213001B1P6BGN -"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(RunShell(prefix + c.command, &out), c.status) << c.command;
    EXPECT_EQ(out.substr(0, out.find('\n')), c.first) << c.command;
  }
  dir.Write("fleet.json", R"({"faults": {"delete": "stderr-only", "version": "exit-nonzero"}})");
  std::string out;
  EXPECT_EQ(RunShell(prefix + "\"$T\" delete -f -intelssd 1 2>/dev/null", &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(RunShell(prefix + "\"$T\" delete -f -intelssd 1 2>&1 | grep -c successful"), 0);
  EXPECT_EQ(RunShell(prefix + "\"$T\" version", &out), 3);
  EXPECT_EQ(out.rfind("Error: ", 0), 0u) << out;
}

TEST(Tool, HangFaultKeepsTheProcessAliveUntilKilled) {
  nimbra_test::TempDir dir;
  dir.Write("fleet.json", R"({"faults": {"log197": "hang"}})");
  std::string out;
  RunShell(With(dir / "fleet.json") +
               "\"$T\" dump -intelssd 0 DataType=nvmelog LogID=197 >/dev/null & p=$!; sleep 0.3; "
               "if kill $p 2>/dev/null; then wait $p; echo killed $?; else echo ended; fi",
           &out);
  EXPECT_EQ(out, "killed 143\n");
}

// Many editors at once, and readers meanwhile: no edit is lost and no reader
// sees a broken file.
TEST(Tool, ConcurrentEditsAreNeitherLostNorSeenHalfDone) {
  nimbra_test::TempDir dir;
  const std::string fleet = dir / "fleet.json";
  const isdct_sim::Fleet initial = isdct_sim::DefaultFleet();
  std::string script = With(fleet) +
                       "pids=; for i in 1 2 3 4 5 6; do \"$T\" sim-add >/dev/null & "
                       "pids=\"$pids $!\"; done; ";
  for (int i = 0; i < 4; ++i) {
    script += "\"$T\" sim-set " + initial.drives[i].serial +
              " temperature=" + std::to_string(60 + i) + " >/dev/null & pids=\"$pids $!\"; ";
  }
  script +=
      "bad=0; for i in 1 2 3 4 5 6; do n=$(\"$T\" show -all -intelssd 2>&1 | grep -c '^- "
      "IntelSSD'); "
      "[ \"$n\" -ge 4 ] || bad=$((bad+1)); done; "
      "for p in $pids; do wait $p || bad=$((bad+1)); done; echo $bad";
  std::string out;
  RunShell(script, &out);
  EXPECT_EQ(out, "0\n");
  const isdct_sim::Fleet final = isdct_sim::FleetStore(fleet).Load();
  ASSERT_EQ(final.drives.size(), 4u + 6);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(final.drives[i].health.temperature, 60u + i);
}

}  // namespace
