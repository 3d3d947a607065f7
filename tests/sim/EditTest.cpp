// What the maintenance commands and the sim-* commands change in the fleet.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "Cli.h"
#include "FleetJson.h"
#include "Maintenance.h"
#include "SimCommands.h"
#include "SimTestSupport.h"
#include "TestSupport.h"

namespace isdct_sim {
namespace {

namespace fs = std::filesystem;

TEST(Maintenance, FormatSetsTheSectorSizeOfTheLbaFormatAndKeepsTheCapacity) {
  const std::pair<uint64_t, uint32_t> cases[] = {{0, 512},  {1, 512},  {2, 512}, {3, 4096},
                                                 {4, 4096}, {5, 4096}, {6, 4096}};
  for (const auto& [lbaFormat, sectorSize] : cases) {
    Drive d = DefaultDrive(0);
    d.maximumLBA = d.nativeMaxLBA / 2;
    const uint64_t bytes = uint64_t{d.sectorSize} * d.nativeMaxLBA;
    MaintenanceResult r = FormatDrive(d, FormatOptions{lbaFormat, 0, 0, 0}, false);
    ASSERT_TRUE(r.ok) << r.text;
    EXPECT_NE(r.text.find("successful"), std::string::npos);
    EXPECT_EQ(d.sectorSize, sectorSize);
    EXPECT_EQ(d.lbaFormat, lbaFormat);
    EXPECT_TRUE(d.erased);
    EXPECT_LE(bytes - uint64_t{d.sectorSize} * d.nativeMaxLBA, sectorSize);
    EXPECT_EQ(d.maximumLBA, d.nativeMaxLBA / 2);
  }
  // Back to 512-byte sectors after 4096.
  Drive d = DefaultDrive(0);
  const uint64_t native = d.nativeMaxLBA;
  FormatDrive(d, FormatOptions{3, 0, 0, 0}, false);
  FormatDrive(d, FormatOptions{0, 0, 0, 0}, false);
  EXPECT_EQ(d.sectorSize, 512u);
  EXPECT_EQ(d.nativeMaxLBA, native / 8 * 8);

  const FormatOptions refused[] = {{7, 0, 0, 0}, {0, 3, 0, 0}, {0, 0, 4, 0}, {0, 0, 0, 2}};
  for (const FormatOptions& o : refused) {
    Drive before = DefaultDrive(0), after = before;
    MaintenanceResult r = FormatDrive(after, o, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.text.rfind("Error: ", 0), 0u);
    EXPECT_EQ(SerializeFleet(Fleet{"", "", {}, {after}}),
              SerializeFleet(Fleet{"", "", {}, {before}}));
  }
}

TEST(Maintenance, SettingTexts) {
  const uint64_t native = DefaultDrive(2).nativeMaxLBA;  // 800 GB, 1562824368 LBAs
  struct Case {
    const char* value;  // of MaximumLBA
    bool ok;
    uint64_t expected;
  };
  const Case cases[] = {
      {"native", true, native},
      {"NATIVE", true, native},
      {"1", true, 1},
      {"400GB", true, 781422768},
      {"800gb", true, native},
      {"X50", true, native / 2},
      {"X1", true, native / 100},
      {"0", false, 0},
      {"1562824369", false, 0},
      {"801GB", false, 0},
      {"X0", false, 0},
      {"X101", false, 0},
      {"X", false, 0},
      {"12GBx", false, 0},
      {"0x10", false, 0},
      {"99999999999999999999999", false, 0},
  };
  for (const Case& c : cases) {
    Drive d = DefaultDrive(2);
    d.maximumLBA = 12345;
    MaintenanceResult r = ApplySetting(d, "MaximumLBA", c.value, false);
    EXPECT_EQ(r.ok, c.ok) << c.value << ": " << r.text;
    EXPECT_EQ(d.maximumLBA, c.ok ? c.expected : 12345u) << c.value;
    EXPECT_EQ(r.text.find("successful") != std::string::npos, c.ok) << c.value;
  }
  // Other settings are stored as given, and leave the maximum LBA alone.
  Drive d = DefaultDrive(0);
  EXPECT_TRUE(ApplySetting(d, "PowerGovernorMode", "1", false).ok);
  EXPECT_TRUE(ApplySetting(d, "PhysicalSectorSize", "4096GB", false).ok);
  EXPECT_FALSE(ApplySetting(d, "Name", "", false).ok);
  EXPECT_EQ(d.settings, (std::map<std::string, std::string>{{"PowerGovernorMode", "1"},
                                                            {"PhysicalSectorSize", "4096GB"}}));
  EXPECT_EQ(d.maximumLBA, DefaultDrive(0).maximumLBA);
}

class SimEdit : public ::testing::Test {
 protected:
  std::string Path() const { return m_Dir / "fleet.json"; }
  Outcome Sim(const std::vector<std::string>& args) { return isdct_sim::Run(args, Path()); }
  Fleet ReadFleet() const { return FleetStore(Path()).Load(); }
  Drive DriveAt(std::size_t i) const { return ReadFleet().drives.at(i); }

  nimbra_test::TempDir m_Dir;
  const std::string m_Serial2 = DefaultDrive(2).serial;
};

TEST_F(SimEdit, SetKeyForms) {
  struct Case {
    std::vector<std::string> assignments;
    std::function<bool(const Drive&)> holds;
  };
  const Case cases[] = {
      {{"temperature=85"}, [](const Drive& d) { return d.health.temperature == 85; }},
      {{"health.temperature=86"}, [](const Drive& d) { return d.health.temperature == 86; }},
      {{"criticalWarnings=0x11"}, [](const Drive& d) { return d.health.criticalWarnings == 0x11; }},
      {{"dataUnitsRead=18446744073709551615"},
       [](const Drive& d) { return d.health.dataUnitsRead == UINT64_MAX; }},
      {{"present=false"}, [](const Drive& d) { return !d.present; }},
      {{"pci.bus=6", "pci.function=1"},
       [](const Drive& d) { return d.pci.bus == 6 && d.pci.function == 1; }},
      {{"faults.log2=hang"},
       [](const Drive& d) { return d.faults.at(Command::kLog2) == Fault::kHang; }},
      {{"faults.log2=hang", "faults.log2=none"}, [](const Drive& d) { return d.faults.empty(); }},
      {{"settings.Mode=fast"}, [](const Drive& d) { return d.settings.at("Mode") == "fast"; }},
      {{"settings.Mode=fast", "settings.Mode="}, [](const Drive& d) { return d.settings.empty(); }},
      {{"model=INTEL SSDPE2 with blanks"},
       [](const Drive& d) { return d.model == "INTEL SSDPE2 with blanks"; }},
      {{"index=9"}, [](const Drive& d) { return d.index == 9 && d.devicePath == "/dev/nvme9n1"; }},
      {{"index=9", "devicePath=/dev/other"},
       [](const Drive& d) { return d.index == 9 && d.devicePath == "/dev/other"; }},
      {{"serial=RENAMED"}, [](const Drive& d) { return d.serial == "RENAMED"; }},
  };
  for (const Case& c : cases) {
    fs::remove(Path());
    std::vector<std::string> args = {"sim-set", m_Serial2};
    args.insert(args.end(), c.assignments.begin(), c.assignments.end());
    Outcome o = Sim(args);
    EXPECT_EQ(o.status, 0) << c.assignments[0] << ": " << o.err;
    EXPECT_EQ(o.out.rfind("Updated drive " + m_Serial2, 0), 0u);
    EXPECT_TRUE(c.holds(DriveAt(2))) << c.assignments[0];
    EXPECT_EQ(ReadFleet().drives.size(), 4u);  // the file began as the default fleet
  }
}

TEST_F(SimEdit, RefusedEditsChangeNothing) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"temprature=1"}, "temprature: unknown key"},
      {{"pci=1"}, "pci: is a group of keys"},
      {{"health.foo=1"}, "health.foo: unknown key"},
      {{"present=maybe"}, "present: expected true or false"},
      {{"temperature=-1"}, "temperature: expected a number"},
      {{"temperature=4294967296"}, "temperature: value 4294967296 is above"},
      {{"faults.log2=hnag"}, "faults.log2: unknown fault"},
      {{"faults.version=empty"}, "faults.version: unknown key"},
      {{"pci.bus=256"}, "pci.bus: value 256 is above 255"},
      {{"noequals"}, "expected KEY=VALUE"},
      {{"=5"}, "expected KEY=VALUE"},
      {{"pci..bus=1"}, "unknown key"},
      {{"temperature=90", "temprature=1"}, "temprature: unknown key"},
      {{"serial=" + DefaultDrive(0).serial}, "is used by another drive"},
  };
  Sim({"sim-set", m_Serial2, "temperature=40"});
  const std::string before = nimbra_test::ReadFile(Path());
  for (const auto& [assignments, message] : cases) {
    std::vector<std::string> args = {"sim-set", m_Serial2};
    args.insert(args.end(), assignments.begin(), assignments.end());
    Outcome o = Sim(args);
    EXPECT_EQ(o.status, 1) << assignments[0];
    EXPECT_EQ(o.err.rfind("isdct sim-set: ", 0), 0u) << o.err;
    EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
    EXPECT_EQ(nimbra_test::ReadFile(Path()), before) << assignments[0];
  }
  EXPECT_EQ(Sim({"sim-set", "NOSUCHSERIAL", "temperature=1"}).status, 1);
  EXPECT_EQ(Sim({"sim-set", m_Serial2}).status, 1);
  EXPECT_EQ(nimbra_test::ReadFile(Path()), before);
}

TEST_F(SimEdit, FleetKeysWithTheFleetOption) {
  Outcome o =
      Sim({"sim-set", "--fleet", "faults.show=garbage", "toolVersion=4.0", "nvmeModuleVersion="});
  ASSERT_EQ(o.status, 0) << o.err;
  Fleet f = ReadFleet();
  EXPECT_EQ(f.faults.at(Command::kShow), Fault::kGarbage);
  EXPECT_EQ(f.toolVersion, "4.0");
  EXPECT_EQ(f.nvmeModuleVersion, "");
  EXPECT_EQ(Sim({"sim-set", "--fleet", "faults.show=none"}).status, 0);
  EXPECT_TRUE(ReadFleet().faults.empty());
  EXPECT_EQ(Sim({"sim-set", "--fleet", "drives=[]"}).status, 1);
  EXPECT_EQ(Sim({"sim-set", "--fleet", "colour=blue"}).status, 1);
  EXPECT_EQ(ReadFleet().drives.size(), 4u);
}

TEST_F(SimEdit, AddGivesAFreshSerialIndexAndPciLocationAndRemoveTakesItOut) {
  for (int i = 0; i < 6; ++i) ASSERT_EQ(Sim({"sim-add"}).status, 0);
  Outcome custom = Sim({"sim-add", "index=42", "model=INTEL SSDPE2MD400G4", "temperature=50"});
  ASSERT_EQ(custom.status, 0) << custom.err;
  Fleet f = ReadFleet();
  ASSERT_EQ(f.drives.size(), 11u);
  std::set<std::string> serials;
  std::set<uint32_t> indexes;
  for (std::size_t i = 0; i < f.drives.size(); ++i) {
    serials.insert(f.drives[i].serial);
    indexes.insert(f.drives[i].index);
    if (i > 0) {
      EXPECT_GT(f.drives[i].pci.bus, f.drives[i - 1].pci.bus) << i;
    }
  }
  EXPECT_EQ(serials.size(), 11u);
  EXPECT_EQ(indexes.size(), 11u);
  const Drive& added = f.drives.back();
  EXPECT_EQ(added.index, 42u);
  EXPECT_EQ(added.devicePath, "/dev/nvme42n1");
  EXPECT_EQ(added.health.temperature, 50u);
  EXPECT_EQ(custom.out.rfind("Added drive " + added.serial + " (index 42", 0), 0u) << custom.out;

  EXPECT_EQ(Sim({"sim-remove", added.serial}).status, 0);
  EXPECT_EQ(ReadFleet().drives.size(), 10u);
  EXPECT_EQ(Sim({"sim-remove", added.serial}).status, 1);
  EXPECT_EQ(Sim({"sim-add", "serial=" + f.drives[0].serial}).status, 1);
  EXPECT_EQ(Sim({"sim-add", "bogus=1"}).status, 1);
  EXPECT_EQ(ReadFleet().drives.size(), 10u);
}

TEST_F(SimEdit, MaintenanceCommandsWriteTheDriveBack) {
  ASSERT_EQ(Sim({"start", "-f", "-intelssd", "1", "Function=nvmeformat", "LBAFormat=3"}).status, 0);
  EXPECT_EQ(DriveAt(1).sectorSize, 4096u);
  const Health health = DriveAt(2).health;
  ASSERT_EQ(Sim({"delete", "-f", "-intelssd", "2"}).status, 0);
  EXPECT_TRUE(DriveAt(2).erased);  // and the counters stay
  EXPECT_EQ(DriveAt(2).health.dataUnitsWritten, health.dataUnitsWritten);
  ASSERT_EQ(Sim({"set", "-intelssd", "3", "MaximumLBA=X25"}).status, 0);
  EXPECT_EQ(DriveAt(3).maximumLBA, DefaultDrive(3).nativeMaxLBA / 4);

  const std::string before = nimbra_test::ReadFile(Path());
  Outcome refused = Sim({"set", "-intelssd", "0", "MaximumLBA=X200"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out.rfind("Error: ", 0), 0u);
  EXPECT_EQ(nimbra_test::ReadFile(Path()), before);
}

TEST_F(SimEdit, EditsNeedAFleetFile) {
  for (std::vector<std::string> args : {std::vector<std::string>{"sim-set", "X", "temperature=1"},
                                        {"sim-add"},
                                        {"sim-remove", "X"}}) {
    Outcome o = isdct_sim::Run(args, std::nullopt);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("ISDCT_SIM_FLEET"), std::string::npos) << o.err;
  }
}

TEST_F(SimEdit, SysfsTreeFollowsThePresentDrives) {
  const std::string root = m_Dir / "sys";
  const std::string devices = root + "/bus/pci/devices/";
  ASSERT_EQ(isdct_sim::Run({"sim-sysfs", root}, Path()).status, 0);
  for (const char* name : {"0000:05:00.0", "0000:06:00.0", "0000:81:00.0", "0000:82:00.0"}) {
    EXPECT_EQ(nimbra_test::ReadFile(devices + name + "/vendor"), "0x8086\n") << name;
    EXPECT_EQ(nimbra_test::ReadFile(devices + name + "/device"), "0x0953\n") << name;
  }
  EXPECT_EQ(nimbra_test::ReadFile(root + "/module/nvme/version"), "1.0\n");

  // Another device of the host is left alone; a drive that left goes.
  nimbra_test::AddPciDevice(root, "0000:00:1f.2", "0x8086", "0x2922");
  Sim({"sim-set", m_Serial2, "present=false"});
  Sim({"sim-set", "--fleet", "nvmeModuleVersion="});
  ASSERT_EQ(isdct_sim::Run({"sim-sysfs", root}, Path()).status, 0);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(devices)) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"0000:00:1f.2", "0000:05:00.0", "0000:06:00.0",
                                          "0000:82:00.0"}));
  EXPECT_FALSE(fs::exists(root + "/module/nvme/version"));

  Outcome bad =
      isdct_sim::Run({"sim-sysfs", Path() + "/cannot/be"}, Path());  // below a regular file
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err.rfind("isdct sim-sysfs: ", 0), 0u);
}

}  // namespace
}  // namespace isdct_sim
