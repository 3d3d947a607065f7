// Command lines and faults, run in-process through Cli::run.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "Cli.h"
#include "FleetJson.h"
#include "Garbage.h"
#include "Printers.h"
#include "SimTestSupport.h"

namespace isdctsim {
namespace {

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> result;
  for (std::string w; in >> w;) result.push_back(w);
  return result;
}

Outcome runLine(const std::string& line, const std::optional<std::string>& fleet = std::nullopt) {
  return run(words(line), fleet);
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// A fleet file in a folder of its own.
class FleetFile {
 public:
  explicit FleetFile(const std::string& json) : path_(dir_.file("fleet.json")) {
    simtest::writeFile(path_, json);
  }
  const std::string& path() const { return path_; }
  std::string text() const { return simtest::readFile(path_); }
  Fleet fleet() const { return parseFleet(text()); }

 private:
  simtest::TempDir dir_;
  std::string path_;
};

const std::map<Command, std::string> kLines = {
    {Command::kShow, "show -all -intelssd"},
    {Command::kVersion, "version"},
    {Command::kLog2, "dump -intelssd 1 DataType=nvmelog LogID=2"},
    {Command::kLog197, "dump -intelssd 1 DataType=nvmelog LogID=197"},
    {Command::kLog202, "dump -intelssd 1 DataType=nvmelog LogID=202"},
    {Command::kFormat,
     "start -f -intelssd 1 Function=nvmeformat LBAFormat=0 SecureEraseSetting=0 "
     "ProtectionInformation=0 MetadataSetting=0"},
    {Command::kDelete, "delete -f -intelssd 1"},
    {Command::kSet, "set -intelssd 1 MaximumLBA=X50"},
};

bool isMaintenance(Command c) {
  return c == Command::kFormat || c == Command::kDelete || c == Command::kSet;
}

TEST(Cli, AcceptedCommandLinesAnswerForTheDefaultFleet) {
  struct Case {
    const char* line;
    int status;
    const char* first;  // expected first line of standard output
  };
  const Case cases[] = {
      {"show -all -intelssd", 0, "- IntelSSD CVFT5213000A400BGN -"},
      {"show -all -intelssd 2", 0, "- IntelSSD PHFT5202002C800BGN -"},
      {"show -all -intelssd PHFT5202003D2P0BGN", 0, "- IntelSSD PHFT5202003D2P0BGN -"},
      {"dump -intelssd 0 DataType=nvmelog LogID=2", 0, "- IntelSSD CVFT5213000A400BGN -"},
      {"dump -intelssd 3 DataType=nvmelog LogID=197", 0, "- IntelSSD PHFT5202003D2P0BGN -"},
      {"dump -intelssd 1 datatype=NVMELOG logid=202", 0, "- IntelSSD CVFT5213001B1P6BGN -"},
      {"dump -intelssd 0 LogID=2 DataType=nvmelog 2>&1", 0, "- IntelSSD CVFT5213000A400BGN -"},
      {"version", 0, "isdct - SSD command-line tool (simulated drives)"},
      {"start -f -intelssd 0 Function=nvmeformat LBAFormat=0 SecureEraseSetting=0 "
       "ProtectionInformation=0 MetadataSetting=0 2>&1",
       0, "- IntelSSD CVFT5213000A400BGN -"},
      {"delete -f -intelssd 0 2>&1", 0, "- IntelSSD CVFT5213000A400BGN -"},
      {"set -intelssd 0 MaximumLBA=native", 0, "- IntelSSD CVFT5213000A400BGN -"},
      {"dump -intelssd 4 DataType=nvmelog LogID=2", 1, "Error: Given drive index is invalid."},
      {"dump -intelssd 4294967296 DataType=nvmelog LogID=2", 1,
       "Error: Given drive index is invalid."},
      {"show -all -intelssd 9", 1, "Error: Given drive index is invalid."},
      {"start -f -intelssd 7 Function=nvmeformat", 1, "Error: Given drive index is invalid."},
      {"delete -f -intelssd NOSUCHSERIAL", 1, "Error: Given drive index is invalid."},
      {"set -intelssd 5 MaximumLBA=native", 1, "Error: Given drive index is invalid."},
  };
  for (const Case& c : cases) {
    Outcome o = runLine(c.line);
    EXPECT_EQ(o.status, c.status) << c.line << "\n" << o.err;
    EXPECT_EQ(firstLine(o.out), c.first) << c.line;
    EXPECT_EQ(o.err, "") << c.line;
    EXPECT_FALSE(o.hang);
  }
  const std::string all = runLine("show -all -intelssd").out;
  EXPECT_EQ(simtest::splitLines(all).size(), 4u * 29);  // header, blank, 26 keys, blank
}

TEST(Cli, WrongCommandLinesGetAnErrorOnStandardErrorAndStatus1) {
  const char* cases[] = {
      "",
      "frobnicate",
      "show",
      "show -intelssd",
      "show -all",
      "show -all -intelssd extra words",
      "version now",
      "dump -intelssd 0",
      "dump -intelssd 0 DataType=nvmelog",
      "dump -intelssd 0 DataType=text LogID=2",
      "dump -intelssd 0 DataType=nvmelog LogID=5",
      "dump -intelssd 0 DataType=nvmelog LogID=2 LogID=197",
      "dump DataType=nvmelog LogID=2",
      "start -intelssd 0 Function=nvmeformat",
      "start -f -intelssd 0 Function=erase",
      "start -f -intelssd 0 Function=nvmeformat LBAFormat=zero",
      "start -f -intelssd 0 Function=nvmeformat Colour=blue",
      "delete -intelssd 0",
      "delete -f -intelssd 0 Now=yes",
      "set -intelssd 0",
      "set -intelssd 0 A=1 B=2",
      "set -f -intelssd 0 A=1",
      "sim-sysfs",
      "sim-fleet extra",
  };
  for (const char* line : cases) {
    Outcome o = runLine(line);
    EXPECT_EQ(o.status, 1) << "'" << line << "'";
    EXPECT_EQ(o.out, "") << "'" << line << "'";
    EXPECT_NE(o.err, "") << "'" << line << "'";
  }
  EXPECT_EQ(runLine("frobnicate").err.rfind("isdct: unknown command line: frobnicate\n", 0), 0u);
  Outcome help = runLine("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("show -all -intelssd"), std::string::npos);
}

TEST(Cli, AbsentDrivesAreLeftOutOfEveryAnswer) {
  FleetFile file(R"({"drives": [{}, {"present": false}, {}]})");
  Outcome show = runLine("show -all -intelssd", file.path());
  EXPECT_NE(show.out.find(defaultDrive(0).serial), std::string::npos);
  EXPECT_EQ(show.out.find(defaultDrive(1).serial), std::string::npos);
  EXPECT_NE(show.out.find(defaultDrive(2).serial), std::string::npos);
  for (const auto& [command, line] : kLines) {
    if (command == Command::kShow || command == Command::kVersion) continue;
    EXPECT_EQ(firstLine(runLine(line, file.path()).out), "Error: Given drive index is invalid.")
        << line;
  }
  EXPECT_EQ(file.fleet().drives[1].maximumLBA, defaultDrive(1).maximumLBA);

  FleetFile none(R"({"drives": [{"present": false}]})");
  EXPECT_EQ(runLine("show -all -intelssd", none.path()).out, "No results\n");
  FleetFile empty(R"({"drives": []})");
  EXPECT_EQ(runLine("show -all -intelssd", empty.path()).out, "No results\n");
}

// Every fault kind on every command, set for the whole fleet.
TEST(Cli, EveryFaultOnEveryCommand) {
  for (Command command : allCommands()) {
    const std::string& line = kLines.at(command);
    for (Fault fault : allFaults()) {
      SCOPED_TRACE(line + " with " + faultName(fault));
      FleetFile file("{}");
      const Outcome normal = runLine(line, file.path());
      ASSERT_EQ(normal.status, 0) << normal.err;
      simtest::writeFile(file.path(), std::string(R"({"faults": {")") + commandName(command) +
                                          R"(": ")" + faultName(fault) + R"("}})");
      const std::string before = file.text();
      const Outcome o = runLine(line, file.path());
      bool printsSuccess = false;
      switch (fault) {
        case Fault::kEmpty:
          EXPECT_EQ(o.out, "");
          EXPECT_EQ(o.status, 0);
          break;
        case Fault::kNoResults:
          EXPECT_EQ(o.out, "No results\n");
          EXPECT_EQ(o.status, 0);
          break;
        case Fault::kInvalidIndex:
          EXPECT_EQ(o.out, "Error: Given drive index is invalid.\n");
          EXPECT_EQ(o.status, 1);
          break;
        case Fault::kGarbage:
          EXPECT_GT(o.out.size(), 1u << 20);
          EXPECT_EQ(o.out, runLine(line, file.path()).out);  // deterministic
          EXPECT_EQ(o.status, 0);
          break;
        case Fault::kOutOfRange: {
          EXPECT_EQ(o.status, 0);
          bool overflows = false;
          for (const char* n :
               {"2147483648", "4294967296", "18446744073709551616", "0x10000000000000000"}) {
            overflows |= o.out.find(n) != std::string::npos;
          }
          EXPECT_TRUE(overflows) << o.out;
          printsSuccess = true;
          break;
        }
        case Fault::kExitNonzero:
          EXPECT_EQ(o.status, 3);
          EXPECT_EQ(o.out.rfind("Error: ", 0), 0u) << o.out;
          break;
        case Fault::kStderrOnly:
          EXPECT_EQ(o.out, "");
          EXPECT_EQ(o.err, normal.out);
          EXPECT_EQ(o.status, 0);
          printsSuccess = true;
          break;
        case Fault::kHang:
          EXPECT_TRUE(o.hang);
          EXPECT_EQ(o.out, "");
          break;
      }
      EXPECT_EQ(o.hang, fault == Fault::kHang);
      if (fault != Fault::kStderrOnly) {
        EXPECT_EQ(o.err, "");
      }
      if (isMaintenance(command)) {
        // The drive changes exactly when the tool reports success.
        EXPECT_EQ((o.out + o.err).find("successful") != std::string::npos, printsSuccess);
        EXPECT_EQ(file.text() != before, printsSuccess);
      } else {
        EXPECT_EQ(file.text(), before);
      }
    }
  }
}

TEST(Cli, ADrivesFaultAppliesToThatDriveAndOverridesTheFleets) {
  FleetFile file(R"({"faults": {"log2": "garbage"},
                     "drives": [{"faults": {"log2": "no-results", "log197": "empty"}}, {}]})");
  const std::string page2 = "DataType=nvmelog LogID=2";
  EXPECT_EQ(runLine("dump -intelssd 0 " + page2, file.path()).out, "No results\n");
  EXPECT_EQ(runLine("dump -intelssd 1 " + page2, file.path()).out,
            garbage(Command::kLog2, defaultDrive(1).serial));
  EXPECT_EQ(runLine("dump -intelssd 0 DataType=nvmelog LogID=197", file.path()).out, "");
  EXPECT_EQ(runLine("dump -intelssd 1 DataType=nvmelog LogID=197", file.path()).out,
            logPage197(defaultDrive(1), false));
  // An index with no drive meets the fleet's fault.
  EXPECT_EQ(runLine("dump -intelssd 9 " + page2, file.path()).out,
            garbage(Command::kLog2, "fleet"));
}

TEST(Cli, ShowAppliesADrivesFaultToThatDrivesBlock) {
  const Drive d0 = defaultDrive(0), d1 = defaultDrive(1), d2 = defaultDrive(2);
  struct Case {
    const char* fault;
    std::string out;
    std::string err;
    int status;
    bool hang;
  };
  const std::string b0 = inventoryBlock(d0, false), b1 = inventoryBlock(d1, false),
                    b2 = inventoryBlock(d2, false);
  const Case cases[] = {
      {"empty", b0 + b2, "", 0, false},
      {"no-results", b0 + "No results\n" + b2, "", 0, false},
      {"out-of-range", b0 + inventoryBlock(d1, true) + b2, "", 0, false},
      {"stderr-only", b0 + b2, b1, 0, false},
      {"invalid-index", b0 + kInvalidIndexLine + b2, "", 1, false},
      {"garbage", b0 + garbage(Command::kShow, d1.serial) + b2, "", 0, false},
      {"exit-nonzero", b0 + "Error: show failed: the device did not respond (simulated fault).\n",
       "", 3, false},
      {"hang", b0, "", 0, true},
  };
  for (const Case& c : cases) {
    FleetFile file(std::string(R"({"drives": [{}, {"faults": {"show": ")") + c.fault +
                   R"("}}, {}]})");
    Outcome o = runLine("show -all -intelssd", file.path());
    EXPECT_EQ(o.out, c.out) << c.fault;
    EXPECT_EQ(o.err, c.err) << c.fault;
    EXPECT_EQ(o.status, c.status) << c.fault;
    EXPECT_EQ(o.hang, c.hang) << c.fault;
  }
}

TEST(Cli, BadFleetFileIsOneErrorLineAndStatus1) {
  FleetFile file(R"({"drives": [{"temprature": 5}]})");
  for (const auto& [command, line] : kLines) {
    Outcome o = runLine(line, file.path());
    EXPECT_EQ(o.status, 1) << line;
    EXPECT_EQ(o.out, "") << line;
    EXPECT_EQ(o.err, "isdct: fleet file " + file.path() + ": drives[0].temprature: unknown key\n")
        << line;
  }
}

}  // namespace
}  // namespace isdctsim
