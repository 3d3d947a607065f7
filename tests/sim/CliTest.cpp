// The simulator's refusals, run in-process through Run: wrong command lines,
// an invalid drive index, invalid fleet files and refused edits each give
// status 1 and their message, and leave the fleet file as it was.
#include <gtest/gtest.h>

#include <sstream>

#include "Cli.h"
#include "Fleet.h"
#include "Printers.h"
#include "TestSupport.h"

namespace isdct_sim {
namespace {

Outcome RunLine(const std::string& line, const std::optional<std::string>& fleet) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return Run(words, fleet);
}

TEST(Cli, RefusalsGiveTheirMessageAndChangeNothing) {
  const std::string serial = DefaultDrive(2).serial;
  const struct {
    const char* fleet;  // the fleet file's text; nullptr: no fleet file named
    std::string line;
    int status;
    const char* out;  // the whole of stdout
    std::string err;  // found in stderr, the one line it holds
  } cases[] = {
      // Command lines.
      {"{}", "frobnicate", 1, "", "isdct: unknown command line: frobnicate"},
      {"{}", "version now", 1, "", "isdct: unknown command line: version now"},
      {"{}", "dump -intelssd 0 DataType=nvmelog", 1, "",
       "isdct: dump takes DataType=nvmelog and LogID=2, 197 or 202: dump -intelssd 0 "
       "DataType=nvmelog"},
      {"{}", "dump -intelssd 0 DataType=nvmelog LogID=5", 1, "",
       "isdct: LogID 5 is not supported (2, 197 or 202)"},
      {"{}", "start -intelssd 0 Function=nvmeformat", 1, "",
       "isdct: start destroys all data on the drive; add -f to confirm: start -intelssd 0 "
       "Function=nvmeformat"},
      {"{}", "start -f -intelssd 0 Function=nvmeformat LBAFormat=zero", 1, "",
       "isdct: expected a number in lbaformat=zero"},
      {"{}", "set -intelssd 0 A=1 B=2", 1, "",
       "isdct: set takes one setting at a time: set -intelssd 0 A=1 B=2"},
      {"{}", "sim-sysfs", 1, "", "isdct: usage: isdct sim-sysfs DIR"},
      // The tool's own error text for a drive it does not have.
      {"{}", "dump -intelssd 4 DataType=nvmelog LogID=2", 1, kInvalidIndexLine, ""},
      {"{}", "delete -f -intelssd NOSUCHSERIAL", 1, kInvalidIndexLine, ""},
      {R"({"drives": [{}, {"present": false}]})", "show -all -intelssd 1", 1, kInvalidIndexLine,
       ""},
      {"{}", "set -intelssd 0 MaximumLBA=X200", 1, "Error: ", ""},
      // Fleet files.
      {R"({"drivez": []})", "version", 1, "", ": drivez: unknown key"},
      {R"({"drives": [{}, {"health": {"foo": 1}}]})", "version", 1, "",
       ": drives[1].health.foo: unknown key"},
      {R"({"drives": [{"pci": {"bus": 256}}]})", "version", 1, "",
       ": drives[0].pci.bus: value 256 is above 255"},
      {R"({"drives": [{"index": "abc"}]})", "version", 1, "",
       ": drives[0].index: expected an unsigned integer"},
      {R"({"drives": [{"present": "yes"}]})", "version", 1, "",
       ": drives[0].present: expected true or false"},
      {R"({"faults": {"show": "hnag"}})", "version", 1, "",
       ": faults.show: unknown fault \"hnag\""},
      {R"({"drives": [{"faults": {"version": "hang"}}]})", "version", 1, "",
       ": drives[0].faults.version: unknown key"},
      {R"({"drives": [{"serial": "A"}, {"serial": "A"}]})", "version", 1, "",
       ": drives[1].serial: serial number"},
      // Edits.
      {"{}", "sim-set " + serial + " temprature=1", 1, "", "isdct sim-set: "},
      {"{}", "sim-set " + serial + " pci=1", 1, "", "pci: is a group of keys"},
      {"{}", "sim-set " + serial + " present=maybe", 1, "", "present: expected true or false"},
      {"{}", "sim-set " + serial + " temperature=-1", 1, "", "temperature: expected a number"},
      {"{}", "sim-set " + serial + " faults.log2=hnag", 1, "", "faults.log2: unknown fault"},
      {"{}", "sim-set " + serial + " noequals", 1, "", "expected KEY=VALUE"},
      {"{}", "sim-set " + serial + " temperature=90 temprature=1", 1, "", "temprature: unknown"},
      {"{}", "sim-set " + serial + " serial=" + DefaultDrive(0).serial, 1, "",
       "is used by another drive"},
      {"{}", "sim-set NOSUCHSERIAL temperature=1", 1, "",
       "isdct sim-set: no drive with serial number NOSUCHSERIAL"},
      {"{}", "sim-add bogus=1", 1, "", "bogus: unknown key"},
      {"{}", "sim-remove NOSUCHSERIAL", 1, "",
       "isdct sim-remove: no drive with serial number NOSUCHSERIAL"},
      {nullptr, "sim-set X temperature=1", 1, "", "ISDCT_SIM_FLEET"},
      {nullptr, "sim-add", 1, "", "ISDCT_SIM_FLEET"},
      {nullptr, "sim-remove X", 1, "", "ISDCT_SIM_FLEET"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    nimbra_test::TempDir dir;
    std::optional<std::string> path;
    if (c.fleet) path = dir.Write("fleet.json", c.fleet);
    const Outcome o = RunLine(c.line, path);
    EXPECT_EQ(o.status, c.status);
    if (std::string(c.out) == "Error: ") {
      EXPECT_EQ(o.out.rfind("Error: ", 0), 0u) << o.out;
    } else {
      EXPECT_EQ(o.out, c.out);
    }
    // The message is on the first line (for a command line, a pointer to
    // --help follows).
    EXPECT_NE(o.err.substr(0, o.err.find('\n')).find(c.err), std::string::npos) << o.err;
    EXPECT_EQ(o.err.empty(), c.err.empty()) << o.err;
    if (path) {
      EXPECT_EQ(nimbra_test::ReadFile(*path), c.fleet);
    }
  }
}

}  // namespace
}  // namespace isdct_sim
