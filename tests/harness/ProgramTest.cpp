// nimbra-host run as a program, the way administrators and scripts use it:
// the readable tree, one line and status 1 for every wrong argument, the
// poll-interval write, event fetch and watch, Ctrl-C and SIGTERM, and the
// document a failed Initialize still gives scripts.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace nimbra_test {
namespace {

using Json = nlohmann::ordered_json;

// Fails unless each of `parts` occurs in `text`, in this order.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    const size_t found = text.find(part, at);
    ASSERT_NE(std::string::npos, found) << "missing, or out of order: " << part << "\n" << text;
    at = found + part.size();
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(HarnessProgram, ShowPrintsTheTreeWithWordsAndUnits) {
  HarnessRun h(DefaultFleet(3));
  const Result r = h.Run("show");
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err) << "the plug-in's console line is not the command's output";
  ExpectInOrder(r.out, {"plug-in 0x0135000000000000  Nimbra-Plugin  (changes 1)\n",
                        "  30005  Poll interval            30 s (2..255, writable)\n",
                        "  operation 50002  get events  (words 6 1 1 1 0 0 1 1)\n",
                        "\n  adapter 0x0135000000000001  Torvik P3700 (0)  (changes 2)\n",
                        "    30158  Form factor              add-in card\n",
                        "    30442  Temperature              31.0 °C\n",
                        "\n    drive 0x0135000000000002  Torvik P3700 400GB (0)  (changes 1)\n",
                        "      30059  Physical size            381554 MiB\n",
                        "\n  adapter 0x0135000000000003  Torvik P3700 (1)",
                        "\n    drive 0x0135000000000004  Torvik P3700 1.6TB (0)",
                        "\n  adapter 0x0135000000000005  Torvik 2.5in (2)",
                        "    30158  Form factor              2.5-inch\n",
                        "\n    drive 0x0135000000000006  Torvik 2.5in 800GB (0)"});
  EXPECT_EQ(std::string::npos, r.out.find("Nimbra:  Initialize")) << r.out;
}

struct BadInput {
  const char* args;
  const char* error;  // the whole of stderr
};

void ExpectOneLine(const HarnessRun& h, const BadInput& c, unsigned settle) {
  const Result r = h.Run(c.args, settle);
  EXPECT_EQ(1, r.status) << c.args;
  EXPECT_EQ(c.error, r.err) << c.args;
  EXPECT_EQ("", r.out) << c.args;
}

TEST(HarnessProgram, WrongCommandLinesFailBeforeThePluginLoads) {
  // The parser's messages are checked in HarnessTest; here the form of the line.
  const BadInput cases[] = {
      {"get 0xZZ",
       "nimbra-host: '0xZZ' is not an object ID: IDs are hexadecimal, as show prints them "
       "(see nimbra-host get --help)\n"},
      {"exec 0x0135000000000000 fetch",
       "nimbra-host: operation 'fetch' is not a number (see nimbra-host exec --help)\n"},
      {"watch --seconds soon",
       "nimbra-host: watch: --seconds: 'soon' is not a whole number (see nimbra-host watch "
       "--help)\n"},
  };
  HarnessRun h(DefaultFleet(1));
  for (const BadInput& c : cases) ExpectOneLine(h, c, 0);
}

TEST(HarnessProgram, RequestsThePluginRefusesGetOneLine) {
  const BadInput cases[] = {
      {"get 0x0135000000000063",
       "nimbra-host: no object 0x0135000000000063: object not found (20008)\n"},
      {"ops 63", "nimbra-host: no object 0x0000000000000063: object not found (20008)\n"},
      {"exec 0x0135000000000009 50002",
       "nimbra-host: no object 0x0135000000000009: object not found (20008)\n"},
      {"get 0x0135000000000001 30999",
       "nimbra-host: object 0x0135000000000001 has no property 30999\n"},
      {"get 0x0135000000000002 30442",
       "nimbra-host: object 0x0135000000000002 has no property 30442\n"},
      {"set 0x0135000000000000 30005 ten",
       "nimbra-host: property 30005 of 0x0135000000000000: 'ten' is not a number\n"},
      {"set 0x0135000000000000 30005 300",
       "nimbra-host: property 30005 of 0x0135000000000000: '300' is out of range (2..255)\n"},
      {"set 0x0135000000000000 30005 1",
       "nimbra-host: property 30005 of 0x0135000000000000: '1' is out of range (2..255)\n"},
      {"set 0x0135000000000001 30007 renamed",
       "nimbra-host: writing property 30007 of 0x0135000000000001 failed: property not "
       "settable (20004)\n"},
      {"exec 0x0135000000000002 50026",
       "nimbra-host: executing operation 50026 of 0x0135000000000002 failed: operation not "
       "supported (20005)\n"},
  };
  HarnessRun h(DefaultFleet(1));
  for (const BadInput& c : cases) ExpectOneLine(h, c, 0);
  EXPECT_NE(0, nimbra_test::RunShell("test -e '" + h.dir() / "Nimbra.ini" + "'"))
      << "a refused value was written";
}

TEST(HarnessProgram, BadFleetFilesGetOneLine) {
  HarnessRun unknownKey("{\"drives\": [{\"temprature\": 80}]}");
  ExpectOneLine(unknownKey,
                {"show", ("nimbra-host: fleet file " + unknownKey.Fleet() +
                          ": drives[0].temprature: unknown key\n")
                             .c_str()},
                10);
  HarnessRun notJson("drives: 4\n");
  const Result r = notJson.Run("show");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0u, r.err.find("nimbra-host: fleet file " + notJson.Fleet() + ": not a JSON document"))
      << r.err;
  EXPECT_EQ(1, Lines(r.err)) << r.err;
  ExpectOneLine(notJson,
                {"--simulate /nonexistent/fleet.json show",
                 "nimbra-host: the fleet file /nonexistent/fleet.json does not exist\n"},
                10);
}

TEST(HarnessProgram, AMissingPluginGetsOneLine) {
  HarnessRun h(DefaultFleet(1));
  const Result r = h.Run("--plugin /nonexistent/libNimbra.so show");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0u, r.err.find("nimbra-host: cannot load plug-in /nonexistent/libNimbra.so: "))
      << r.err;
  EXPECT_EQ(1, Lines(r.err)) << r.err;
  std::string left;
  nimbra_test::RunShell("ls '" + h.Tmp() + "'", &left);
  EXPECT_EQ("", left) << "the temporary sysfs tree is left behind";
}

TEST(HarnessProgram, PollIntervalIsWrittenAndSurvivesARestart) {
  HarnessRun h(DefaultFleet(1));
  const Result set = h.Run("set 0x0135000000000000 30005 5", 0);
  ASSERT_EQ(0, set.status) << set.err;
  EXPECT_EQ("30005  Poll interval            5 s (2..255, writable)\n", set.out);
  std::string ini;
  nimbra_test::RunShell("cat '" + h.dir() / "Nimbra.ini" + "'", &ini);
  EXPECT_EQ("PollInterval=5\n", ini);

  const Result get = h.Run("get 0x0135000000000000 30005 --json", 0);
  ASSERT_EQ(0, get.status) << get.err;
  const Json j = Json::parse(get.out);
  ASSERT_EQ(1u, j["properties"].size());
  EXPECT_EQ(5, j["properties"][0]["value"]);
}

TEST(HarnessProgram, OperationsChecksAndTheEventFetch) {
  // A hot add-in card (the tool reads 81 °C) and a failed 2.5-inch drive.
  HarnessRun h(
      "{\"drives\": [{\"health\": {\"criticalWarnings\": 2, \"temperature\": 81}},"
      " {\"model\": \"INTEL SSDPE2MD016T4\", \"health\": {\"criticalWarnings\": 4}}]}");
  const Result ops = h.Run("ops 0x0135000000000000", 0);
  EXPECT_EQ(0, ops.status);
  EXPECT_EQ("50002  get events  (words 6 1 1 1 0 0 1 1)\n", ops.out);
  const Result none = h.Run("ops 0x0135000000000002", 0);
  EXPECT_EQ("no operations\n", none.out);

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
  const std::vector<std::string> lines = SplitLines(fetched.out);
  ASSERT_EQ(3u, lines.size()) << fetched.out;
  const std::tuple<int, int, const char*, const char*> expected[] = {
      // eventId, severity, objectId, objectName (also placeholder1)
      {10960, 4, "0x0135000000000001", "Torvik P3700 (0)"},
      {10962, 3, "0x0135000000000001", "Torvik P3700 (0)"},
      {11088, 3, "0x0135000000000003", "Torvik 2.5in (1)"},
  };
  for (size_t i = 0; i < 3; ++i) {
    const Json e = Json::parse(lines[i]);
    const auto& [id, severity, object, name] = expected[i];
    const Json want = {{"eventId", id},      {"severity", severity}, {"objectId", object},
                       {"objectName", name}, {"placeholder1", name}, {"placeholder2", ""},
                       {"time", e["time"]}};
    EXPECT_EQ(want.dump(), e.dump()) << "keys in this order";
  }
  const Result text = h.Run("exec 0x0135000000000000 50002");
  const std::vector<std::string> textLines = SplitLines(text.out);
  ASSERT_EQ(4u, textLines.size()) << text.out;
  EXPECT_EQ("operation 50002 (get events) on 0x0135000000000000: done, 3 events", textLines[0]);
  EXPECT_NE(std::string::npos,
            textLines[3].find("  warning  11088 reliability degraded: Torvik 2.5in (1) "
                              "[0x0135000000000003]"))
      << textLines[3];
}

// Runs `script` in the run's folder with FLEET (the fleet file) set and two
// shell functions: h runs the harness with the folder's options, sim the
// simulator on the fleet. The script prints what the test reads.
std::string Script(const HarnessRun& h, const std::string& script) {
  std::string out;
  nimbra_test::RunShell("cd '" + h.dir().path() + "' && export TMPDIR='" + h.Tmp() + "' FLEET='" +
                            h.Fleet() + "'; h() { '" + Harness() +
                            "' --config-dir . --simulate \"$FLEET\" \"$@\"; }; sim() { "
                            "ISDCT_SIM_FLEET=\"$FLEET\" '" +
                            Isdct() + "' \"$@\"; }; " + script,
                        &out);
  return out;
}

TEST(HarnessProgram, WatchPrintsEventsAsADriveHeatsUpAndCtrlCEndsIt) {
  HarnessRun h(DefaultFleet(1));
  h.dir().Write("Nimbra.ini", "PollInterval=2\n");
  const auto start = std::chrono::steady_clock::now();
  const std::string status =
      Script(h,
             // A shell starts background jobs with SIGINT ignored; a terminal does not.
             "env --default-signal=INT '" + Harness() +
                 "' --config-dir . --simulate \"$FLEET\" "
                 "--trace 2 --trace-file trace.txt watch --json > out.txt 2> err.txt & pid=$!; "
                 "for i in $(seq 300); do [ -s out.txt ] && break; sleep 0.1; done; "
                 "sim sim-set CVFT5213000A400BGN temperature=85 >/dev/null; "
                 "for i in $(seq 300); do grep -q 10962 out.txt && break; sleep 0.1; done; "
                 "kill -INT $pid; wait $pid; echo $?");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ("0\n", status) << "Ctrl-C ends watch as its normal end";
  EXPECT_LT(seconds, 40.0);

  std::string out, trace, left;
  nimbra_test::RunShell("cat '" + h.dir() / "out.txt" + "'", &out);
  const std::vector<std::string> lines = SplitLines(out);
  ASSERT_EQ(3u, lines.size()) << out;
  const Json topology = Json::parse(lines[0]);
  EXPECT_EQ(0, topology["initialize"]);
  EXPECT_EQ(3u, topology["objects"].size());
  EXPECT_EQ(10960, Json::parse(lines[1])["eventId"]);
  EXPECT_EQ(10962, Json::parse(lines[2])["eventId"]);

  nimbra_test::RunShell("cat '" + h.dir() / "trace.txt" + "'", &trace);
  ExpectInOrder(trace, {"ENTER DeInitialize", "LEAVE DeInitialize"});
  nimbra_test::RunShell("ls '" + h.Tmp() + "'", &left);
  EXPECT_EQ("", left) << "the temporary sysfs tree is left behind";
}

TEST(HarnessProgram, SigtermWhileAToolRunHangsEndsCleanly) {
  HarnessRun h("{\"drives\": [{\"faults\": {\"log2\": \"hang\"}}]}");
  const auto start = std::chrono::steady_clock::now();
  const std::string out =
      Script(h, "'" + Harness() +
                    "' --config-dir . --simulate \"$FLEET\" --tool-timeout 2 --settle 60 "
                    "show > out.txt 2> err.txt & pid=$!; "
                    // Running: its temporary sysfs tree is there.
                    "for i in $(seq 300); do ls \"$TMPDIR\" | grep -q nimbra-sysfs && break; sleep "
                    "0.1; done; "
                    "sleep 0.5; "
                    "kill -TERM $pid; wait $pid; echo $?; cat err.txt; "
                    "grep -l \"ISDCT_SIM_FLEET=$FLEET\" /proc/[0-9]*/environ 2>/dev/null | wc -l");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // No tool run of this fleet is left.
  EXPECT_EQ("1\nnimbra-host: interrupted\n0\n", out);
  EXPECT_LT(seconds, 20.0);
  std::string left;
  nimbra_test::RunShell("ls '" + h.Tmp() + "'", &left);
  EXPECT_EQ("", left);
}

TEST(HarnessProgram, AReaderThatGoesAwayEndsTheRunCleanly) {
  HarnessRun h(DefaultFleet(8));  // a document of 130 kB, twice what a pipe holds
  const std::string status =
      Script(h,
             "{ h --settle 0 --trace 2 --trace-file trace.txt show --json 2>/dev/null; "
             "echo $? > status.txt; } | "
             "head -c 1 >/dev/null; cat status.txt");
  EXPECT_EQ("1\n", status) << "a failed write is a failure, not a crash (141)";
  std::string trace, left;
  nimbra_test::RunShell("cat '" + h.dir() / "trace.txt" + "'", &trace);
  ExpectInOrder(trace, {"ENTER DeInitialize", "LEAVE DeInitialize"});
  nimbra_test::RunShell("ls '" + h.Tmp() + "'", &left);
  EXPECT_EQ("", left);
}

TEST(HarnessProgram, FailedInitializeStillGivesScriptsTheDocument) {
  HarnessRun h(DefaultFleet(1));
  const Result r = h.RunPlain("--sysfs-root '" + h.dir().path() + "' show --json");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ(
      "Nimbra:  Initialize:  adapter count is 0\n"
      "nimbra-host: initialize failed: no supported hardware (20001)\n",
      r.err);
  const Json j = Json::parse(r.out);
  EXPECT_EQ(20001, j["initialize"]);
  EXPECT_TRUE(j["adapterIds"].empty());
  ASSERT_EQ(1u, j["objects"].size());
  EXPECT_EQ("Nimbra-Plugin", j["objects"][0]["properties"][1]["value"]);
}

TEST(HarnessProgram, HelpForTheProgramAndEveryCommand) {
  HarnessRun h(DefaultFleet(1));
  const Result all = h.RunPlain("--help");
  EXPECT_EQ(0, all.status);
  EXPECT_EQ(0u, all.out.find("usage: nimbra-host")) << all.out;
  for (const char* command : {"show", "watch", "get", "set", "ops", "check", "exec"}) {
    const Result r = h.RunPlain(std::string(command) + " --help");
    EXPECT_EQ(0, r.status) << command;
    EXPECT_EQ(0u, r.out.find(std::string("usage: nimbra-host [options] ") + command)) << r.out;
    EXPECT_EQ("", r.err);
  }
}

}  // namespace
}  // namespace nimbra_test
