// nimbra-host run as a program against the simulator: the tree it shows,
// exit statuses with their one error line, the poll-interval write, the
// operations and the event fetch, watch ended by Ctrl-C, SIGTERM during a
// hung tool run, and a failed Initialize.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "HarnessRun.h"
#include "JsonDocuments.h"
#include "TestSupport.h"

namespace nimbra_test {
namespace {

// Fails unless each of `parts` occurs in `text`, in this order.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    const size_t found = text.find(part, at);
    ASSERT_NE(std::string::npos, found) << "missing, or out of order: " << part << "\n" << text;
    at = found + part.size();
  }
}

std::string Cat(const std::string& path) {
  std::string text;
  RunShell("cat '" + path + "'", &text);
  return text;
}

// What the run left in its TMPDIR (the temporary sysfs tree must be gone).
std::string LeftInTmp(const HarnessRun& h) {
  std::string names;
  RunShell("ls '" + h.Tmp() + "'", &names);
  return names;
}

TEST(HarnessProgram, ShowPrintsTheTreeWithWordsAndUnits) {
  HarnessRun h(DefaultFleet(3));
  const Result r = h.Run("show");
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kSimulatedLine, r.err) << "the plug-in's console line is not the command's output";
  ExpectInOrder(r.out, {"plug-in 0x0135000000000000  Nimbra-Plugin  (changes 1)\n",
                        "  30005  Poll interval            30 s (2..255, writable)\n",
                        "  operation 50002  get events  (words 6 1 1 1 0 0 1 1)\n",
                        "\n  adapter 0x0135000000000001  Torvik P3700 (0)  (changes 2)\n",
                        "    30158  Form factor              add-in card\n",
                        "    30442  Temperature              31.0 °C\n",
                        "\n    drive 0x0135000000000002  Torvik P3700 400GB (0)  (changes 1)\n",
                        "      30059  Physical size            381554 MiB\n",
                        "\n  adapter 0x0135000000000005  Torvik 2.5in (2)",
                        "    30158  Form factor              2.5-inch\n",
                        "\n    drive 0x0135000000000006  Torvik 2.5in 800GB (0)"});
}

TEST(HarnessProgram, EveryFailureIsStatus1AndOneLine) {
  HarnessRun h(DefaultFleet(1));
  HarnessRun unknownKey("{\"drives\": [{\"temprature\": 80}]}");
  HarnessRun notJson("drives: 4\n");
  const std::tuple<const HarnessRun*, std::string, std::string> cases[] = {
      // run, arguments, the start of stderr
      {&h, "get 0xZZ",
       "nimbra-host: '0xZZ' is not an object ID: IDs are hexadecimal, as show prints them "
       "(see nimbra-host get --help)\n"},
      {&h, "exec 0x0135000000000000 fetch",
       "nimbra-host: operation 'fetch' is not a number (see nimbra-host exec --help)\n"},
      {&h, "frobnicate", "nimbra-host: unknown command 'frobnicate'"},
      {&h, "--tool-timeout 0 show", "nimbra-host: --tool-timeout must be at least 1"},
      {&h, "set 0x1 30005", "nimbra-host: set needs a value"},
      {&h, "get 0x1 30007 30003", "nimbra-host: get: unexpected argument '30003'"},
      {&h, "get 0x0135000000000063",
       "nimbra-host: no object 0x0135000000000063: object not found (20008)\n"},
      {&h, "ops 63", "nimbra-host: no object 0x0000000000000063: object not found (20008)\n"},
      {&h, "get 0x0135000000000001 30999",
       "nimbra-host: object 0x0135000000000001 has no property 30999\n"},
      {&h, "get 0x0135000000000002 30442",
       "nimbra-host: object 0x0135000000000002 has no property 30442\n"},
      {&h, "set 0x0135000000000000 30005 ten",
       "nimbra-host: property 30005 of 0x0135000000000000: 'ten' is not a number\n"},
      {&h, "set 0x0135000000000000 30005 300",
       "nimbra-host: property 30005 of 0x0135000000000000: '300' is out of range (2..255)\n"},
      {&h, "set 0x0135000000000000 30005 1",
       "nimbra-host: property 30005 of 0x0135000000000000: '1' is out of range (2..255)\n"},
      {&h, "set 0x0135000000000001 30007 renamed",
       "nimbra-host: writing property 30007 of 0x0135000000000001 failed: property not "
       "settable (20004)\n"},
      {&h, "exec 0x0135000000000002 50026",
       "nimbra-host: executing operation 50026 of 0x0135000000000002 failed: operation not "
       "supported (20005)\n"},
      {&unknownKey, "show",
       "nimbra-host: fleet file " + unknownKey.Fleet() + ": drives[0].temprature: unknown key\n"},
      {&notJson, "show", "nimbra-host: fleet file " + notJson.Fleet() + ": not a JSON document"},
      {&h, "--simulate bogus show",
       "nimbra-host: --simulate: 'bogus' is neither a command nor a fleet file (No such file or "
       "directory)"},
      {&h, "--sysfs-root /nonexistent show",
       "nimbra-host: --sysfs-root: '/nonexistent': No such file or directory (see"},
      {&h, "set 0x0135000000000000 30005 10.5",
       "nimbra-host: property 30005 of 0x0135000000000000: '10.5' is not a whole number\n"},
      {&h, "set 0x0135000000000000 30005 99999999999999999999",
       "nimbra-host: property 30005 of 0x0135000000000000: '99999999999999999999' is out of "
       "range (2..255)\n"},
      {&h, "get 0x0135000000000000 99999999999",
       "nimbra-host: property '99999999999' is out of range (0..2147483647) (see"},
      {&h, "--settle 1e3 show", "nimbra-host: --settle: '1e3' is not a whole number"},
      {&h, "--plugin /nonexistent/libNimbra.so show",
       "nimbra-host: cannot load plug-in /nonexistent/libNimbra.so: "},
  };
  for (const auto& [run, args, error] : cases) {
    const Result r = run->Run(args, 0);
    EXPECT_EQ(1, r.status) << args;
    EXPECT_EQ(0u, r.err.find(error)) << args << ": " << r.err;
    EXPECT_EQ(1, Lines(r.err)) << args << ": " << r.err;
    EXPECT_EQ("", r.out) << args;
  }
  EXPECT_NE(0, RunShell("test -e '" + h.dir() / "Nimbra.ini" + "'")) << "a refused value was kept";
  EXPECT_EQ("", LeftInTmp(h)) << "the temporary sysfs tree is left behind";
}

TEST(HarnessProgram, PollIntervalIsWrittenAndSurvivesARestart) {
  HarnessRun h(DefaultFleet(1));
  const Result set = h.Run("set 0x0135000000000000 30005 5", 0);
  ASSERT_EQ(0, set.status) << set.err;
  EXPECT_EQ("30005  Poll interval            5 s (2..255, writable)\n", set.out);
  EXPECT_EQ("PollInterval=5\n", Cat(h.dir() / "Nimbra.ini"));
  const Result get = h.Run("get 0x0135000000000000 30005 --json", 0);
  ASSERT_EQ(0, get.status) << get.err;
  const Json j = Document(get.out);
  ASSERT_EQ(1u, j["properties"].size());
  EXPECT_EQ(5, j["properties"][0]["value"]);
}

TEST(HarnessProgram, OperationsChecksAndTheEventFetch) {
  // A hot add-in card (the tool reads 81 °C) and a failed 2.5-inch drive.
  HarnessRun h(
      "{\"drives\": [{\"health\": {\"criticalWarnings\": 2, \"temperature\": 81}},"
      " {\"model\": \"INTEL SSDPE2MD016T4\", \"health\": {\"criticalWarnings\": 4}}]}");
  EXPECT_EQ("50002  get events  (words 6 1 1 1 0 0 1 1)\n", h.Run("ops 0x0135000000000000", 0).out);
  EXPECT_EQ("no operations\n", h.Run("ops 0x0135000000000002", 0).out);
  const Result allowed = h.Run("check 0x0135000000000002 50026");
  EXPECT_EQ(0, allowed.status) << allowed.err;
  EXPECT_EQ("operation 50026 (drive action) on 0x0135000000000002: allowed\n", allowed.out);
  const Result refused = h.Run("check 0x0135000000000004 50026");
  EXPECT_EQ(1, refused.status) << refused.err;
  EXPECT_EQ(
      "operation 50026 (drive action) on 0x0135000000000004: refused, operation rejected "
      "(20042)\n",
      refused.out);

  // The worker's first full scan saw the card's temperature bands rise and
  // the 2.5-inch drive's reliability degrade: events in adapter order.
  const Result fetched = h.Run("exec 0x0135000000000000 50002 --json");
  ASSERT_EQ(0, fetched.status) << fetched.err;
  const std::vector<Json> lines = DocumentLines(fetched.out);
  ASSERT_EQ(3u, lines.size()) << fetched.out;
  const std::tuple<int, int, const char*, const char*, const char*, const char*> expected[] = {
      // eventId, severity, objectId, objectName (also placeholder1), name, text
      {10960, 4, "0x0135000000000001", "Torvik P3700 (0)", "temperature band 84 °C or more",
       "temperature 79 °C or more (band 84 °C or more with the add-in card's margin of 5 °C)"},
      {10962, 3, "0x0135000000000001", "Torvik P3700 (0)", "temperature band 80 °C or more",
       "temperature 75 °C or more (band 80 °C or more with the add-in card's margin of 5 °C)"},
      {11088, 3, "0x0135000000000003", "Torvik 2.5in (1)", "reliability degraded",
       "reliability degraded"},
  };
  for (size_t i = 0; i < 3; ++i) {
    const Json& e = lines[i];
    const auto& [id, severity, object, name, eventName, text] = expected[i];
    const char* level = severity == 4 ? "error" : "warning";
    const Json want = {{"formatVersion", 1}, {"type", "event"},       {"simulated", true},
                       {"eventId", id},      {"severity", severity},  {"objectId", object},
                       {"objectName", name}, {"placeholder1", name},  {"placeholder2", ""},
                       {"time", e["time"]},  {"severityName", level}, {"name", eventName},
                       {"text", text}};
    EXPECT_EQ(want.dump(), e.dump()) << "keys in this order";
  }
}

// Runs `script` in the run's folder with FLEET (the fleet file) set and two
// shell functions: h runs the harness with the folder's options, sim the
// simulator on the fleet. The script prints what the test reads.
std::string Script(const HarnessRun& h, const std::string& script) {
  std::string out;
  RunShell("cd '" + h.dir().path() + "' && export TMPDIR='" + h.Tmp() + "' FLEET='" + h.Fleet() +
               "'; h() { '" + Harness() +
               "' --config-dir . --simulate \"$FLEET\" \"$@\"; }; sim() { "
               "ISDCT_SIM_FLEET=\"$FLEET\" '" +
               Isdct() + "' \"$@\"; }; " + script,
           &out);
  return out;
}

TEST(HarnessProgram, WatchPrintsEventsAsADriveHeatsUpAndCtrlCEndsIt) {
  HarnessRun h(DefaultFleet(1));
  h.dir().Write("Nimbra.ini", "PollInterval=2\n");
  // A shell starts background jobs with SIGINT ignored; a terminal does not.
  const std::string status =
      Script(h, "env --default-signal=INT '" + Harness() +
                    "' --config-dir . --simulate \"$FLEET\" --trace 2 --trace-file trace.txt "
                    "watch --json > out.txt 2> err.txt & pid=$!; "
                    "for i in $(seq 300); do [ -s out.txt ] && break; sleep 0.1; done; "
                    "sim sim-set CVFT5213000A400BGN temperature=85 >/dev/null; "
                    "for i in $(seq 300); do grep -q 10962 out.txt && break; sleep 0.1; done; "
                    "kill -INT $pid; wait $pid; echo $?");
  EXPECT_EQ("0\n", status) << "Ctrl-C ends watch as its normal end";
  const std::vector<Json> lines = DocumentLines(Cat(h.dir() / "out.txt"));
  ASSERT_EQ(3u, lines.size());
  const Json& topology = lines[0];
  EXPECT_EQ("tree", topology["type"]);
  EXPECT_EQ(0, topology["initialize"]);
  EXPECT_EQ(3u, topology["objects"].size());
  EXPECT_EQ(10960, lines[1]["eventId"]);
  EXPECT_EQ(10962, lines[2]["eventId"]);
  // The plug-in was shut down, not just left behind.
  ExpectInOrder(Cat(h.dir() / "trace.txt"), {"ENTER DeInitialize", "LEAVE DeInitialize"});
  EXPECT_EQ("", LeftInTmp(h)) << "the temporary sysfs tree is left behind";
}

TEST(HarnessProgram, SigtermWhileAToolRunHangsEndsCleanly) {
  HarnessRun h("{\"drives\": [{\"faults\": {\"log2\": \"hang\"}}]}");
  const auto start = std::chrono::steady_clock::now();
  const std::string out = Script(
      h, "'" + Harness() +
             "' --config-dir . --simulate \"$FLEET\" --tool-timeout 2 --settle 60 show > "
             "out.txt 2> err.txt & pid=$!; "
             // Running: its temporary sysfs tree is there.
             "for i in $(seq 300); do ls \"$TMPDIR\" | grep -q nimbra-sysfs && break; sleep 0.1; "
             "done; sleep 0.5; kill -TERM $pid; wait $pid; echo $?; cat err.txt; "
             "grep -l \"ISDCT_SIM_FLEET=$FLEET\" /proc/[0-9]*/environ 2>/dev/null | wc -l");
  // No tool run of this fleet is left.
  EXPECT_EQ("1\nnimbra-host: interrupted\n0\n", out);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
  EXPECT_EQ("", LeftInTmp(h));
}

TEST(HarnessProgram, FailedInitializeIsStatus2AndStillGivesTheDocument) {
  HarnessRun h(DefaultFleet(1));
  const Result r = h.RunPlain("--sysfs-root '" + h.dir().path() + "' show --json");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos,
            r.err.find("nimbra-host: initialize failed: no supported hardware (20001)\n"))
      << r.err;
  const Json j = Document(r.out);
  EXPECT_EQ(20001, j["initialize"]);
  EXPECT_TRUE(j["adapterIds"].empty());
  ASSERT_EQ(1u, j["objects"].size());
  EXPECT_EQ("Nimbra-Plugin", j["objects"][0]["properties"][1]["value"]);
}

}  // namespace
}  // namespace nimbra_test
