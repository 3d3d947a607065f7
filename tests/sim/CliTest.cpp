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
    const char* out;  // the whole of stdout
    std::string err;  // found in stderr, the one line it holds
  } cases[] = {
      // Command lines.
      {"{}", "version now", "", "isdct: unknown command line: version now"},
      {"{}", "dump -intelssd 0 DataType=nvmelog", "",
       "isdct: dump takes DataType=nvmelog and LogID=2, 197 or 202: dump -intelssd 0"},
      {"{}", "dump -intelssd 0 DataType=nvmelog LogID=5", "",
       "isdct: LogID 5 is not supported (2, 197 or 202)"},
      {"{}", "start -intelssd 0 Function=nvmeformat", "",
       "isdct: start destroys all data on the drive; add -f to confirm: start"},
      {"{}", "start -f -intelssd 0 Function=nvmeformat LBAFormat=zero", "",
       "isdct: expected a number in lbaformat=zero"},
      {"{}", "set -intelssd 0 A=1 B=2", "",
       "isdct: set takes one setting at a time: set -intelssd 0 A=1 B=2"},
      {"{}", "sim-sysfs", "", "isdct: usage: isdct sim-sysfs DIR"},
      // The tool's own error text for a drive it does not have.
      {"{}", "dump -intelssd 4 DataType=nvmelog LogID=2", kInvalidIndexLine, ""},
      {"{}", "delete -f -intelssd NOSUCHSERIAL", kInvalidIndexLine, ""},
      {R"({"drives": [{}, {"present": false}]})", "show -all -intelssd 1", kInvalidIndexLine, ""},
      {"{}", "set -intelssd 0 MaximumLBA=X200",
       "Error: MaximumLBA=X200: the percentage must be 1 to 100.\n", ""},
      // Fleet files.
      {R"({"drives": [{}, {"health": {"foo": 1}}]})", "version", "",
       ": drives[1].health.foo: unknown key"},
      {R"({"drives": [{"pci": {"bus": 256}}]})", "version", "",
       ": drives[0].pci.bus: value 256 is above 255"},
      {R"({"drives": [{"index": "abc"}]})", "version", "",
       ": drives[0].index: expected an unsigned integer"},
      {R"({"drives": [{"present": "yes"}]})", "version", "",
       ": drives[0].present: expected true or false"},
      {R"({"drives": [{"faults": {"version": "hang"}}]})", "version", "",
       ": drives[0].faults.version: unknown key"},
      // Edits.
      {"{}", "sim-set " + serial + " pci=1", "", "pci: is a group of keys"},
      {"{}", "sim-set " + serial + " present=maybe", "", "present: expected true or false"},
      {"{}", "sim-set " + serial + " temperature=-1", "", "temperature: expected a number"},
      {"{}", "sim-set " + serial + " faults.log2=hnag", "", "faults.log2: unknown fault"},
      {"{}", "sim-set " + serial + " noequals", "", "expected KEY=VALUE"},
      {"{}", "sim-set " + serial + " temperature=90 temprature=1", "", "temprature: unknown"},
      {"{}", "sim-set " + serial + " serial=" + DefaultDrive(0).serial, "",
       "is used by another drive"},
      {"{}", "sim-set NOSUCHSERIAL temperature=1", "",
       "isdct sim-set: no drive with serial number NOSUCHSERIAL"},
      {"{}", "sim-add bogus=1", "", "bogus: unknown key"},
      {"{}", "sim-remove NOSUCHSERIAL", "",
       "isdct sim-remove: no drive with serial number NOSUCHSERIAL"},
      {nullptr, "sim-set X temperature=1", "", "ISDCT_SIM_FLEET"},
      {nullptr, "sim-add", "", "ISDCT_SIM_FLEET"},
      {nullptr, "sim-remove X", "", "ISDCT_SIM_FLEET"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    nimbra_test::TempDir dir;
    const std::string fleet = c.fleet ? c.fleet : "", path = dir.Write("fleet.json", fleet);
    const Outcome o = RunLine(c.line, c.fleet ? std::make_optional(path) : std::nullopt);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, c.out);
    // The message is on the first line (for a command line, a pointer to
    // --help follows).
    EXPECT_NE(o.err.substr(0, o.err.find('\n')).find(c.err), std::string::npos) << o.err;
    EXPECT_EQ(o.err.empty(), c.err.empty()) << o.err;
    EXPECT_EQ(nimbra_test::ReadFile(path), fleet);
  }
}

}  // namespace
}  // namespace isdct_sim
