// nimbra-host run as a program against the simulator: each command's exit
// status, output and one error line (the tree it shows, the poll-interval
// write, the operations and the event fetch, a failed Initialize), watch
// ended by Ctrl-C, and SIGTERM during a hung tool run.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
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

// One line of exec --json: an event with its words, the time masked.
std::string Event(int id, const std::string& severity, const std::string& object,
                  const std::string& name, const std::string& eventName, const std::string& text) {
  return "{\"formatVersion\":1,\"type\":\"event\",\"simulated\":true,\"eventId\":" +
         std::to_string(id) + ",\"severity\":" + (severity == "error" ? "4" : "3") +
         ",\"objectId\":\"" + object + "\",\"objectName\":" + name + ",\"placeholder1\":" + name +
         ",\"placeholder2\":\"\",\"time\":T,\"severityName\":\"" + severity + "\",\"name\":\"" +
         eventName + "\",\"text\":\"" + text + "\"}\n";
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

// Scripts run in order, each a process of its own (h runs the harness on
// the fleet): the exit status, what stdout holds with event times as T
// (empty: stdout is empty) and the start of the last line of stderr (empty:
// stderr is empty). An error is one line; a failed Initialize passes the
// plug-in's console line on before it.
TEST(HarnessProgram, EachCommandsStatusOutputAndOneErrorLine) {
  HarnessRun h(DefaultFleet(1));
  // A hot add-in card (the tool reads 81 °C) and a failed 2.5-inch drive.
  HarnessRun hot(
      "{\"drives\": [{\"health\": {\"criticalWarnings\": 2, \"temperature\": 81}},"
      " {\"model\": \"INTEL SSDPE2MD016T4\", \"health\": {\"criticalWarnings\": 4}}]}");
  HarnessRun notJson("drives: 4\n");
  const std::string p0 = "0x0135000000000000";
  const std::string card = "\"Torvik P3700 (0)\"", small = "\"Torvik 2.5in (1)\"";
  const struct {
    const HarnessRun& run;
    std::string script;
    int status;
    std::string out, err;
  } cases[] = {
      // Set during the worker's first scan, which hears of it.
      {h, "h --settle 0 set " + p0 + " 30005 5", 0,
       "30005  Poll interval            5 s (2..255, writable)\n", ""},
      // Refused values, after one was written: the file keeps that one.
      {h, "h set " + p0 + " 30005 ten", 1, "",
       "nimbra-host: property 30005 of " + p0 + ": 'ten' is not a number\n"},
      {h, "h set " + p0 + " 30005 300", 1, "",
       "nimbra-host: property 30005 of " + p0 + ": '300' is out of range (2..255)\n"},
      {h, "h set " + p0 + " 30005 1", 1, "",
       "nimbra-host: property 30005 of " + p0 + ": '1' is out of range (2..255)\n"},
      {h, "h get " + p0 + " 30005 --json", 0, "\"value\": 5,\n", ""},
      {h, "h get 0xZZ", 1, "",
       "nimbra-host: '0xZZ' is not an object ID: IDs are hexadecimal, as show prints them"},
      {h, "h exec " + p0 + " fetch", 1, "",
       "nimbra-host: operation 'fetch' is not a number (see nimbra-host exec --help)\n"},
      {h, "h frobnicate", 1, "", "nimbra-host: unknown command 'frobnicate'"},
      {h, "h --tool-timeout 0 show", 1, "", "nimbra-host: --tool-timeout must be at least 1"},
      {h, "h set 0x1 30005", 1, "", "nimbra-host: set needs a value"},
      {h, "h get 0x1 30007 30003", 1, "", "nimbra-host: get: unexpected argument '30003'"},
      {h, "h get 0x0135000000000063", 1, "",
       "nimbra-host: no object 0x0135000000000063: object not found (20008)\n"},
      {h, "h ops 63", 1, "",
       "nimbra-host: no object 0x0000000000000063: object not found (20008)\n"},
      {h, "h get 0x0135000000000002 30442", 1, "",
       "nimbra-host: object 0x0135000000000002 has no property 30442\n"},
      {h, "h set 0x0135000000000001 30007 renamed", 1, "",
       "nimbra-host: writing property 30007 of 0x0135000000000001 failed: property not "
       "settable (20004)\n"},
      {h, "h exec 0x0135000000000002 50026", 1, "",
       "nimbra-host: executing operation 50026 of 0x0135000000000002 failed: operation not "
       "supported (20005)\n"},
      {notJson, "h show", 1, "",
       "nimbra-host: fleet file " + notJson.Fleet() + ": not a JSON document"},
      {h, "h --simulate bogus show", 1, "",
       "nimbra-host: --simulate: 'bogus' is neither a command nor a fleet file (No such file or "
       "directory)"},
      {h, "h --sysfs-root /nonexistent show", 1, "",
       "nimbra-host: --sysfs-root: '/nonexistent': No such file or directory (see"},
      {h, "h set " + p0 + " 30005 10.5", 1, "",
       "nimbra-host: property 30005 of " + p0 + ": '10.5' is not a whole number\n"},
      {h, "h set " + p0 + " 30005 99999999999999999999", 1, "",
       "nimbra-host: property 30005 of " + p0 +
           ": '99999999999999999999' is out of range "
           "(2..255)\n"},
      {h, "h get " + p0 + " 99999999999", 1, "",
       "nimbra-host: property '99999999999' is out of range (0..2147483647) (see"},
      {h, "h --settle 1e3 show", 1, "", "nimbra-host: --settle: '1e3' is not a whole number"},
      {h, "h --plugin /nonexistent/libNimbra.so show", 1, "",
       "nimbra-host: cannot load plug-in /nonexistent/libNimbra.so: "},
      // Without the simulator and no PCI device in the tree: the document
      // still comes.
      {h, "\"$H\" --sysfs-root . show --json", 2,
       "  \"simulated\": true,\n  \"initialize\": 20001,\n",
       "nimbra-host: initialize failed: no supported hardware (20001)\n"},
      {hot, "h ops " + p0, 0, "50002  get events  (words 6 1 1 1 0 0 1 1)\n", ""},
      {hot, "h ops 0x0135000000000002", 0, "no operations\n", ""},
      {hot, "h check 0x0135000000000002 50026", 0,
       "operation 50026 (drive action) on 0x0135000000000002: allowed\n", ""},
      {hot, "h check 0x0135000000000004 50026", 1,
       "operation 50026 (drive action) on 0x0135000000000004: refused, operation rejected "
       "(20042)\n",
       ""},
      // The worker's first full scan saw the card's temperature bands rise
      // and the 2.5-inch drive's reliability degrade: in adapter order.
      {hot, "h exec " + p0 + " 50002 --json", 0,
       Event(10960, "error", "0x0135000000000001", card, "temperature band 84 °C or more",
             "temperature 79 °C or more (band 84 °C or more with the add-in card's margin of "
             "5 °C)") +
           Event(10962, "warning", "0x0135000000000001", card, "temperature band 80 °C or more",
                 "temperature 75 °C or more (band 80 °C or more with the add-in card's margin "
                 "of 5 °C)") +
           Event(11088, "warning", "0x0135000000000003", small, "reliability degraded",
                 "reliability degraded"),
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const Result r = c.run.Shell(c.script);
    EXPECT_EQ(c.status, r.status) << r.err;
    const std::string out = std::regex_replace(r.out, std::regex("\"time\":[0-9]+"), "\"time\":T");
    EXPECT_NE(std::string::npos, out.find(c.out)) << r.out;
    EXPECT_EQ(c.out.empty(), r.out.empty()) << r.out;
    if (c.script.find("--json") != std::string::npos) {
      r.out.rfind("{\n", 0) == 0 ? (void)Document(r.out) : (void)DocumentLines(r.out);
    }
    // Output about the simulator's drives is marked so, once, first.
    const bool marked = r.err.rfind(kSimulatedLine, 0) == 0;
    EXPECT_EQ(!r.out.empty() && c.script.rfind("h ", 0) == 0, marked) << r.err;
    if (c.err.empty()) {
      EXPECT_EQ(marked ? kSimulatedLine : "", r.err);
    } else {
      const size_t last = r.err.rfind('\n', r.err.size() - 2) + 1;  // where the last line starts
      EXPECT_EQ(last, r.err.find(c.err, last)) << r.err;
      EXPECT_EQ(1 + (c.status == 2) + marked, Lines(r.err)) << r.err;
    }
  }
  EXPECT_EQ("PollInterval=5\n", ReadFile(h.dir() / "Nimbra.ini"));
  EXPECT_EQ("", h.LeftInTmp()) << "the temporary sysfs tree is left behind";
}

TEST(HarnessProgram, WatchPrintsEventsAsADriveHeatsUpAndCtrlCEndsIt) {
  HarnessRun h(DefaultFleet(1));
  h.dir().Write("Nimbra.ini", "PollInterval=2\n");
  // A shell starts background jobs with SIGINT ignored; a terminal does not.
  const Result r = h.Shell(
      "env --default-signal=INT \"$H\" --config-dir . --simulate \"$FLEET\" --trace 2 "
      "--trace-file trace.txt watch --json > out.txt 2> err.txt & pid=$!; "
      "for i in $(seq 300); do [ -s out.txt ] && break; sleep 0.1; done; "
      "sim sim-set CVFT5213000A400BGN temperature=85 >/dev/null; "
      "for i in $(seq 300); do grep -q 10962 out.txt && break; sleep 0.1; done; "
      "kill -INT $pid; wait $pid; echo $?");
  EXPECT_EQ("0\n", r.out) << "Ctrl-C ends watch as its normal end";
  // The topology of three objects, then an event for each band the drive rose through.
  const std::string out = ReadFile(h.dir() / "out.txt");
  EXPECT_EQ(3, Lines(out)) << out;
  DocumentLines(out);
  ExpectInOrder(out,
                {"{\"formatVersion\":1,\"type\":\"tree\",", "\"initialize\":0,",
                 "\"objects\":[{\"id\":\"0x0135000000000000\"", "{\"id\":\"0x0135000000000001\"",
                 "{\"id\":\"0x0135000000000002\"", "\n{\"formatVersion\":1,\"type\":\"event\",",
                 "\"eventId\":10960,", "\"type\":\"event\",", "\"eventId\":10962,"});
  // The plug-in was shut down, not just left behind.
  ExpectInOrder(ReadFile(h.dir() / "trace.txt"), {"ENTER DeInitialize", "LEAVE DeInitialize"});
  EXPECT_EQ("", h.LeftInTmp()) << "the temporary sysfs tree is left behind";
}

TEST(HarnessProgram, SigtermWhileAToolRunHangsEndsCleanly) {
  HarnessRun h("{\"drives\": [{\"faults\": {\"log2\": \"hang\"}}]}");
  const auto start = std::chrono::steady_clock::now();
  const Result r = h.Shell(
      "\"$H\" --config-dir . --simulate \"$FLEET\" --tool-timeout 2 --settle 60 show > out.txt "
      "2> err.txt & pid=$!; "
      // Running: its temporary sysfs tree is there.
      "for i in $(seq 300); do ls \"$TMPDIR\" | grep -q nimbra-sysfs && break; sleep 0.1; "
      "done; sleep 0.5; kill -TERM $pid; wait $pid; echo $?; cat err.txt; "
      "grep -l \"ISDCT_SIM_FLEET=$FLEET\" /proc/[0-9]*/environ 2>/dev/null | wc -l");
  // No tool run of this fleet is left.
  EXPECT_EQ("1\nnimbra-host: interrupted\n0\n", r.out);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ("", h.LeftInTmp());
}

}  // namespace
}  // namespace nimbra_test
