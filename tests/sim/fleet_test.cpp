// The fleet: the default drives, the file format with its defaults and its
// strictness, and the store that reads and atomically rewrites the file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

#include "FleetJson.h"
#include "FleetStore.h"
#include "SimTestSupport.h"

namespace isdctsim {
namespace {

TEST(Fleet, DefaultFleetIsTwoAddInCardsAndTwoSmallFormFactorDrivesOfFourSizes) {
  const Fleet fleet = defaultFleet();
  ASSERT_EQ(fleet.drives.size(), 4u);
  std::set<std::string> serials;
  std::set<uint64_t> gibClasses;
  int addIn = 0, smallForm = 0;
  for (std::size_t i = 0; i < fleet.drives.size(); ++i) {
    const Drive& d = fleet.drives[i];
    EXPECT_EQ(d.index, i);
    EXPECT_TRUE(d.present);
    addIn += d.model.rfind("INTEL SSDPED", 0) == 0;
    smallForm += d.model.rfind("INTEL SSDPE2", 0) == 0;
    serials.insert(d.serial);
    EXPECT_EQ(d.serial.size(), 18u);
    EXPECT_EQ(d.health.criticalWarnings, 0u);
    EXPECT_EQ(d.health.thermalThrottleStatus, 100u);
    EXPECT_LT(d.health.temperature, 70u);
    EXPECT_EQ(d.maximumLBA, d.nativeMaxLBA);
    EXPECT_EQ(uint64_t{d.sectorSize} * d.nativeMaxLBA, d.physicalSize);
    gibClasses.insert((uint64_t{d.sectorSize} * d.nativeMaxLBA >> 20) >> 10);
    if (i > 0) {  // PCI addresses ascend with the index
      EXPECT_GT(d.pci.bus, fleet.drives[i - 1].pci.bus);
    }
  }
  EXPECT_EQ(addIn, 2);
  EXPECT_EQ(smallForm, 2);
  EXPECT_EQ(serials.size(), 4u);
  // 400 GB, 1.6 TB, 800 GB, 2 TB: one drive in each capacity class.
  EXPECT_EQ(gibClasses, (std::set<uint64_t>{372, 745, 1490, 1863}));
}

TEST(Fleet, MissingKeysTakeTheDefaultsOfTheDrivesPosition) {
  EXPECT_EQ(serializeFleet(parseFleet("{}")), serializeFleet(defaultFleet()));

  Fleet one = parseFleet(R"({"drives": [{}, {"health": {"temperature": 70}}]})");
  ASSERT_EQ(one.drives.size(), 2u);
  EXPECT_EQ(serializeFleet(Fleet{one.toolVersion, one.nvmeModuleVersion, {}, {one.drives[0]}}),
            serializeFleet(Fleet{one.toolVersion, one.nvmeModuleVersion, {}, {defaultDrive(0)}}));
  EXPECT_EQ(one.drives[1].health.temperature, 70u);
  EXPECT_EQ(one.drives[1].health.powerOnHours, defaultDrive(1).health.powerOnHours);
  EXPECT_EQ(one.drives[1].serial, defaultDrive(1).serial);

  // A drive beyond the default four gets a generated serial of its own.
  Fleet six = parseFleet(R"({"drives": [{}, {}, {}, {}, {}, {}]})");
  std::set<std::string> serials;
  for (const Drive& d : six.drives) serials.insert(d.serial);
  EXPECT_EQ(serials.size(), 6u);

  // The device path follows a given index unless it is given too.
  EXPECT_EQ(parseFleet(R"({"drives": [{"index": 7}]})").drives[0].devicePath, "/dev/nvme7n1");
  EXPECT_EQ(
      parseFleet(R"({"drives": [{"index": 7, "devicePath": "/dev/x"}]})").drives[0].devicePath,
      "/dev/x");
  EXPECT_TRUE(parseFleet(R"({"drives": []})").drives.empty());
  EXPECT_EQ(parseFleet(R"({"drives": [{"health": {"criticalWarnings": "0x11"}}]})")
                .drives[0]
                .health.criticalWarnings,
            0x11u);
}

TEST(Fleet, EverySettingSurvivesASaveAndALoad) {
  Fleet fleet = defaultFleet();
  fleet.toolVersion = "9.8.7";
  fleet.nvmeModuleVersion = "";
  fleet.faults[Command::kShow] = Fault::kGarbage;
  Drive& d = fleet.drives[3];
  d.index = 42;
  d.pci = {1, 2, 3, 4};
  d.present = false;
  d.erased = true;
  d.lbaFormat = 3;
  d.health.dataUnitsRead = UINT64_MAX;
  d.health.criticalWarnings = 0x1F;
  d.faults[Command::kLog202] = Fault::kHang;
  d.settings["PowerGovernorMode"] = "1";
  const std::string text = serializeFleet(fleet);
  EXPECT_EQ(serializeFleet(parseFleet(text)), text);
}

TEST(Fleet, BadFilesAreRejectedWithOneLineNamingTheKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"not json", "not a JSON document"},
      {"", "not a JSON document"},
      {"[1, 2]", "expected a JSON object"},
      {R"({"drivez": []})", "drivez: unknown key"},
      {R"({"drives": {}})", "drives: expected a JSON array"},
      {R"({"drives": [{"temprature": 1}]})", "drives[0].temprature: unknown key"},
      {R"({"drives": [{}, {"health": {"foo": 1}}]})", "drives[1].health.foo: unknown key"},
      {R"({"drives": [{"pci": {"bus": 256}}]})", "drives[0].pci.bus: value 256 is above 255"},
      {R"({"drives": [{"index": "abc"}]})", "drives[0].index: expected an unsigned integer"},
      {R"({"drives": [{"index": -1}]})", "drives[0].index: expected an unsigned integer"},
      {R"({"drives": [{"index": 1.5}]})", "drives[0].index: expected an unsigned integer"},
      {R"({"drives": [{"index": 4294967296}]})", "drives[0].index: value 4294967296 is above"},
      {R"({"drives": [{"present": "yes"}]})", "drives[0].present: expected true or false"},
      {R"({"drives": [{"model": 5}]})", "drives[0].model: expected a string"},
      {R"({"drives": [{"health": {"criticalWarnings": 256}}]})", "criticalWarnings: value 256"},
      {R"({"faults": {"show": "hnag"}})", "faults.show: unknown fault \"hnag\""},
      {R"({"faults": {"dump": "hang"}})", "faults.dump: unknown key"},
      {R"({"drives": [{"faults": {"version": "hang"}}]})", "drives[0].faults.version: unknown key"},
      {R"({"drives": [{"serial": "A"}, {"serial": "A"}]})", "drives[1].serial: serial number"},
      {R"({"drives": [{"settings": {"X": 1}}]})", "drives[0].settings.X: expected a string"},
  };
  for (const auto& [text, message] : cases) {
    try {
      parseFleet(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const FleetError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(message), std::string::npos) << text << " -> " << what;
      EXPECT_EQ(what.find('\n'), std::string::npos) << what;
    }
  }
}

TEST(FleetStore, MissingFileIsTheDefaultFleetUntilAnEditWritesIt) {
  simtest::TempDir dir;
  const FleetStore store(dir.file("fleet.json"));
  EXPECT_EQ(serializeFleet(store.load()), serializeFleet(defaultFleet()));
  EXPECT_FALSE(store.edit([](Fleet&) { return false; }));
  EXPECT_EQ(::access(dir.file("fleet.json").c_str(), F_OK),
            -1);  // nothing changed, nothing written

  EXPECT_TRUE(store.edit([](Fleet& f) {
    f.drives[0].health.temperature = 77;
    return true;
  }));
  EXPECT_EQ(store.load().drives[0].health.temperature, 77u);
  EXPECT_EQ(::access(dir.file("fleet.json.lock").c_str(), F_OK), 0);
  // Only the fleet and its lock file are left in the folder (no temporary file).
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);
}

TEST(FleetStore, EditKeepsTheFilesModeAndAFailedEditKeepsItsText) {
  simtest::TempDir dir;
  const std::string path = dir.file("fleet.json");
  simtest::writeFile(path, R"({"drives": [{}]})");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const FleetStore store(path);
  store.edit([](Fleet& f) {
    f.toolVersion = "1.2.3";
    return true;
  });
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const std::string before = simtest::readFile(path);
  EXPECT_THROW(store.edit([](Fleet& f) -> bool {
    f.toolVersion = "lost";
    throw FleetError("refused");
  }),
               FleetError);
  EXPECT_EQ(simtest::readFile(path), before);
}

TEST(FleetStore, UnreadableOrInvalidFileNamesTheFile) {
  simtest::TempDir dir;
  const std::string path = dir.file("fleet.json");
  simtest::writeFile(path, "{ broken");
  try {
    FleetStore(path).load();
    ADD_FAILURE() << "accepted a broken file";
  } catch (const FleetError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("fleet file " + path + ": not a JSON document", 0), 0u)
        << e.what();
  }
  EXPECT_THROW(FleetStore(dir.path()).load(), FleetError);  // a folder, not a file
}

}  // namespace
}  // namespace isdctsim
