// Command lines and faults, run in-process through Cli::run.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <tuple>

#include "Cli.h"
#include "FleetJson.h"
#include "Garbage.h"
#include "Printers.h"
#include "SimTestSupport.h"
#include "TestSupport.h"

namespace isdct_sim {
namespace {

Outcome RunLine(const std::string& line, const std::optional<std::string>& fleet = std::nullopt) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return Run(words, fleet);
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// A fleet file in a folder of its own.
class FleetFile {
 public:
  explicit FleetFile(const std::string& json) : m_Path(m_Dir.Write("fleet.json", json)) {}
  const std::string& Path() const { return m_Path; }
  std::string Text() const { return nimbra_test::ReadFile(m_Path); }
  void Write(const std::string& json) const { m_Dir.Write("fleet.json", json); }

 private:
  nimbra_test::TempDir m_Dir;
  std::string m_Path;
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

TEST(Cli, AcceptedCommandLinesAnswerForTheDefaultFleet) {
  const std::tuple<const char*, int, const char*> cases[] = {
      // line, status, first line
      {"show -all -intelssd", 0, "- IntelSSD CVFT5213000A400BGN -"},
      {"show -all -intelssd 2", 0, "- IntelSSD PHFT5202002C800BGN -"},
      {"show -all -intelssd PHFT5202003D2P0BGN", 0, "- IntelSSD PHFT5202003D2P0BGN -"},
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
  for (const auto& [line, status, first] : cases) {
    Outcome o = RunLine(line);
    EXPECT_EQ(o.status, status) << line << "\n" << o.err;
    EXPECT_EQ(FirstLine(o.out), first) << line;
    EXPECT_EQ(o.err, "") << line;
  }
  const std::string all = RunLine("show -all -intelssd").out;
  EXPECT_EQ(nimbra_test::SplitLines(all).size(), 4u * 29);  // header, blank, 26 keys, blank
}

TEST(Cli, WrongCommandLinesGetAnErrorOnStandardErrorAndStatus1) {
  const char* cases[] = {
      "",
      "frobnicate",
      "show -intelssd",
      "show -all",
      "show -all -intelssd extra words",
      "version now",
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
    Outcome o = RunLine(line);
    EXPECT_EQ(o.status, 1) << "'" << line << "'";
    EXPECT_EQ(o.out, "") << "'" << line << "'";
    EXPECT_NE(o.err, "") << "'" << line << "'";
  }
  EXPECT_EQ(RunLine("frobnicate").err.rfind("isdct: unknown command line: frobnicate\n", 0), 0u);
  Outcome help = RunLine("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("show -all -intelssd"), std::string::npos);
}

TEST(Cli, AbsentDrivesAreLeftOutOfEveryAnswer) {
  FleetFile file(R"({"drives": [{}, {"present": false}, {}]})");
  const std::string before = file.Text();
  Outcome show = RunLine("show -all -intelssd", file.Path());
  EXPECT_EQ(show.out,
            InventoryBlock(DefaultDrive(0), false) + InventoryBlock(DefaultDrive(2), false));
  for (const auto& [command, line] : kLines) {
    if (command == Command::kShow || command == Command::kVersion) continue;
    EXPECT_EQ(RunLine(line, file.Path()).out, kInvalidIndexLine) << line;
  }
  EXPECT_EQ(file.Text(), before);
  for (const char* json : {R"({"drives": [{"present": false}]})", R"({"drives": []})"}) {
    EXPECT_EQ(RunLine("show -all -intelssd", FleetFile(json).Path()).out, "No results\n");
  }
}

// Every fault kind on every command, set for the whole fleet.
TEST(Cli, EveryFaultOnEveryCommand) {
  for (Command command : AllCommands()) {
    const std::string& line = kLines.at(command);
    const bool maintenance =
        command == Command::kFormat || command == Command::kDelete || command == Command::kSet;
    for (Fault fault : AllFaults()) {
      SCOPED_TRACE(line + " with " + FaultName(fault));
      FleetFile file("{}");
      const std::string normal = RunLine(line, file.Path()).out;
      file.Write(std::string(R"({"faults": {")") + CommandName(command) + R"(": ")" +
                 FaultName(fault) + R"("}})");
      const std::string before = file.Text();
      const Outcome o = RunLine(line, file.Path());
      EXPECT_EQ(o.hang, fault == Fault::kHang);
      EXPECT_EQ(o.err, fault == Fault::kStderrOnly ? normal : "");
      const std::map<Fault, std::pair<std::string, int>> exact = {
          // output, status
          {Fault::kEmpty, {"", 0}},
          {Fault::kNoResults, {"No results\n", 0}},
          {Fault::kInvalidIndex, {kInvalidIndexLine, 1}},
          {Fault::kStderrOnly, {"", 0}},
          {Fault::kHang, {"", o.status}}};
      if (exact.count(fault)) {
        EXPECT_EQ(o.out, exact.at(fault).first);
        EXPECT_EQ(o.status, exact.at(fault).second);
      } else if (fault == Fault::kGarbage) {
        EXPECT_GT(o.out.size(), 1u << 20);
        EXPECT_EQ(o.out, RunLine(line, file.Path()).out);  // the same noise each time
        EXPECT_EQ(o.status, 0);
      } else if (fault == Fault::kExitNonzero) {
        EXPECT_EQ(o.status, 3);
        EXPECT_EQ(o.out.rfind("Error: ", 0), 0u) << o.out;
      } else {  // out of range: a number that overflows its field
        EXPECT_EQ(o.status, 0);
        bool overflows = false;
        for (const char* n :
             {"2147483648", "4294967296", "18446744073709551616", "0x10000000000000000"}) {
          overflows |= o.out.find(n) != std::string::npos;
        }
        EXPECT_TRUE(overflows) << o.out;
      }
      // A maintenance command changes the drive exactly when it reports success.
      const bool success = fault == Fault::kOutOfRange || fault == Fault::kStderrOnly;
      EXPECT_EQ((o.out + o.err).find("successful") != std::string::npos, maintenance && success);
      EXPECT_EQ(file.Text() != before, maintenance && success);
    }
  }
}

TEST(Cli, ADrivesFaultAppliesToThatDriveAndOverridesTheFleets) {
  FleetFile file(R"({"faults": {"log2": "garbage"},
                     "drives": [{"faults": {"log2": "no-results", "log197": "empty"}}, {}]})");
  const std::string page2 = "DataType=nvmelog LogID=2";
  EXPECT_EQ(RunLine("dump -intelssd 0 " + page2, file.Path()).out, "No results\n");
  EXPECT_EQ(RunLine("dump -intelssd 1 " + page2, file.Path()).out,
            Garbage(Command::kLog2, DefaultDrive(1).serial));
  EXPECT_EQ(RunLine("dump -intelssd 0 DataType=nvmelog LogID=197", file.Path()).out, "");
  EXPECT_EQ(RunLine("dump -intelssd 1 DataType=nvmelog LogID=197", file.Path()).out,
            LogPage197(DefaultDrive(1), false));
  // An index with no drive meets the fleet's fault.
  EXPECT_EQ(RunLine("dump -intelssd 9 " + page2, file.Path()).out,
            Garbage(Command::kLog2, "fleet"));
}

TEST(Cli, ShowAppliesADrivesFaultToThatDrivesBlock) {
  const Drive d1 = DefaultDrive(1);
  const std::string b0 = InventoryBlock(DefaultDrive(0), false), b1 = InventoryBlock(d1, false),
                    b2 = InventoryBlock(DefaultDrive(2), false);
  const std::tuple<const char*, std::string, std::string, int> cases[] = {
      // fault, output, error output, status
      {"empty", b0 + b2, "", 0},
      {"no-results", b0 + "No results\n" + b2, "", 0},
      {"out-of-range", b0 + InventoryBlock(d1, true) + b2, "", 0},
      {"stderr-only", b0 + b2, b1, 0},
      {"invalid-index", b0 + kInvalidIndexLine + b2, "", 1},
      {"garbage", b0 + Garbage(Command::kShow, d1.serial) + b2, "", 0},
      {"exit-nonzero", b0 + "Error: show failed: the device did not respond (simulated fault).\n",
       "", 3},
      {"hang", b0, "", 0},
  };
  for (const auto& [fault, out, err, status] : cases) {
    FleetFile file(std::string(R"({"drives": [{}, {"faults": {"show": ")") + fault +
                   R"("}}, {}]})");
    Outcome o = RunLine("show -all -intelssd", file.Path());
    EXPECT_EQ(o.out, out) << fault;
    EXPECT_EQ(o.err, err) << fault;
    EXPECT_EQ(o.status, status) << fault;
    EXPECT_EQ(o.hang, std::string(fault) == "hang") << fault;
  }
}

TEST(Cli, BadFleetFileIsOneErrorLineAndStatus1) {
  FleetFile file(R"({"drives": [{"temprature": 5}]})");
  for (const auto& [command, line] : kLines) {
    Outcome o = RunLine(line, file.Path());
    EXPECT_EQ(o.status, 1) << line;
    EXPECT_EQ(o.out, "") << line;
    EXPECT_EQ(o.err, "isdct: fleet file " + file.Path() + ": drives[0].temprature: unknown key\n")
        << line;
  }
}

}  // namespace
}  // namespace isdct_sim
