// What sim-set changes in the fleet file and sim-sysfs in the tree beyond
// what the end-to-end suites use, and concurrent editors of one file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>

#include "Cli.h"
#include "FleetStore.h"
#include "TestSupport.h"

namespace isdct_sim {
namespace {

namespace fs = std::filesystem;

class SimEdit : public ::testing::Test {
 protected:
  std::string Path() const { return m_Dir / "fleet.json"; }
  Outcome Sim(const std::vector<std::string>& args) { return isdct_sim::Run(args, Path()); }
  Fleet ReadFleet() const { return FleetStore(Path()).Load(); }

  nimbra_test::TempDir m_Dir;
  const std::string m_Serial2 = DefaultDrive(2).serial;
};

TEST_F(SimEdit, SetKeyForms) {
  struct Case {
    std::vector<std::string> assignments;
    std::function<bool(const Drive&)> holds;
  };
  const Case cases[] = {
      {{"health.criticalWarnings=0x11"},
       [](const Drive& d) { return d.health.criticalWarnings == 0x11; }},
      {{"dataUnitsRead=18446744073709551615"},
       [](const Drive& d) { return d.health.dataUnitsRead == UINT64_MAX; }},
      {{"pci.bus=6", "pci.function=1"},
       [](const Drive& d) { return d.pci.bus == 6 && d.pci.function == 1; }},
      {{"settings.Mode=fast", "settings.Mode="}, [](const Drive& d) { return d.settings.empty(); }},
      {{"index=9"}, [](const Drive& d) { return d.index == 9 && d.devicePath == "/dev/nvme9n1"; }},
  };
  for (const Case& c : cases) {
    fs::remove(Path());  // a missing file is the default fleet
    std::vector<std::string> args = {"sim-set", m_Serial2};
    args.insert(args.end(), c.assignments.begin(), c.assignments.end());
    Outcome o = Sim(args);
    EXPECT_EQ(o.status, 0) << c.assignments[0] << ": " << o.err;
    EXPECT_EQ(o.out.rfind("Updated drive " + m_Serial2, 0), 0u);
    EXPECT_TRUE(c.holds(ReadFleet().drives.at(2))) << c.assignments[0];
    EXPECT_EQ(ReadFleet().drives.size(), 4u);
  }
  ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
  ASSERT_EQ(Sim({"sim-set", "--fleet", "faults.show=garbage", "toolVersion=4.0"}).status, 0);
  EXPECT_EQ(ReadFleet().faults.at(Command::kShow), Fault::kGarbage);
  EXPECT_EQ(ReadFleet().toolVersion, "4.0");
  struct stat st;
  ASSERT_EQ(::stat(Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // the mode is kept
  const fs::directory_iterator entries(m_Dir.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 2);  // the fleet and its lock only
}

// What the end-to-end suites cannot see: a drive that left goes from the
// tree, and another device of the host stays.
TEST_F(SimEdit, SysfsTreeFollowsThePresentDrives) {
  const std::string root = m_Dir / "sys", devices = root + "/bus/pci/devices/";
  nimbra_test::AddPciDevice(root, "0000:00:1f.2", "0x8086", "0x2922");
  ASSERT_EQ(Sim({"sim-sysfs", root}).status, 0);
  Sim({"sim-set", m_Serial2, "present=false"});
  ASSERT_EQ(Sim({"sim-sysfs", root}).status, 0);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(devices)) names.insert(e.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"0000:00:1f.2", "0000:05:00.0", "0000:06:00.0",
                                          "0000:82:00.0"}));
}

// bin/isdct run as processes: six adders and four setters at once, and
// readers meanwhile; no edit is lost, no reader sees a broken file, and no
// two adders hand out the same serial number, index or PCI bus.
TEST(Tool, ConcurrentEditsAreNeitherLostNorSeenHalfDone) {
  nimbra_test::TempDir dir;
  const std::string fleet = dir / "fleet.json";
  std::string drives;
  for (int i = 0; i < 4; ++i) drives += " " + DefaultDrive(i).serial;
  const std::string script =
      "export ISDCT_SIM_FLEET='" + fleet + "'; T='" + nimbra_test::BuildDir() + "/bin/isdct'; S='" +
      drives +
      "'; pids=; for i in 1 2 3 4 5 6; do \"$T\" sim-add >/dev/null & pids=\"$pids $!\"; "
      "done; t=60; for s in $S; do \"$T\" sim-set $s temperature=$t >/dev/null & "
      "pids=\"$pids $!\"; t=$((t+1)); done; bad=0; for i in 1 2 3 4 5 6; do "
      "n=$(\"$T\" show -all -intelssd 2>&1 | grep -c '^- IntelSSD'); [ \"$n\" -ge 4 ] || "
      "bad=$((bad+1)); done; for p in $pids; do wait $p || bad=$((bad+1)); done; echo $bad";
  std::string out;
  nimbra_test::RunShell(script, &out);
  EXPECT_EQ(out, "0\n");
  const Fleet final = FleetStore(fleet).Load();
  ASSERT_EQ(final.drives.size(), 4u + 6);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(final.drives[i].health.temperature, 60u + i);
  // Each added drive got a fresh serial number, index and PCI bus.
  std::set<std::string> serials;
  std::set<uint32_t> indexes;
  for (std::size_t i = 0; i < final.drives.size(); ++i) {
    serials.insert(final.drives[i].serial);
    indexes.insert(final.drives[i].index);
    EXPECT_TRUE(i == 0 || final.drives[i].pci.bus > final.drives[i - 1].pci.bus) << i;
  }
  EXPECT_EQ(serials.size(), 10u);
  EXPECT_EQ(indexes.size(), 10u);
}

}  // namespace
}  // namespace isdct_sim
