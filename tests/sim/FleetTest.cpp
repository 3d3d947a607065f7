// The fleet file: its defaults, its strictness, and the store that reads it
// and rewrites it atomically.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

#include "FleetJson.h"
#include "FleetStore.h"
#include "SimTestSupport.h"
#include "TestSupport.h"

namespace isdct_sim {
namespace {

TEST(Fleet, MissingKeysTakeTheDefaultsOfTheDrivesPosition) {
  EXPECT_EQ(SerializeFleet(ParseFleet("{}")), SerializeFleet(DefaultFleet()));

  Fleet one = ParseFleet(R"({"drives": [{}, {"health": {"temperature": 70}}]})");
  ASSERT_EQ(one.drives.size(), 2u);
  EXPECT_EQ(SerializeFleet(Fleet{one.toolVersion, one.nvmeModuleVersion, {}, {one.drives[0]}}),
            SerializeFleet(Fleet{one.toolVersion, one.nvmeModuleVersion, {}, {DefaultDrive(0)}}));
  EXPECT_EQ(one.drives[1].health.temperature, 70u);
  EXPECT_EQ(one.drives[1].health.powerOnHours, DefaultDrive(1).health.powerOnHours);
  EXPECT_EQ(one.drives[1].serial, DefaultDrive(1).serial);

  // A drive beyond the default four gets a generated serial of its own.
  Fleet six = ParseFleet(R"({"drives": [{}, {}, {}, {}, {}, {}]})");
  std::set<std::string> serials;
  for (const Drive& d : six.drives) serials.insert(d.serial);
  EXPECT_EQ(serials.size(), 6u);

  EXPECT_TRUE(ParseFleet(R"({"drives": []})").drives.empty());
  EXPECT_EQ(ParseFleet(R"({"drives": [{"health": {"criticalWarnings": "0x11"}}]})")
                .drives[0]
                .health.criticalWarnings,
            0x11u);
}

TEST(Fleet, EverySettingSurvivesASaveAndALoad) {
  Fleet fleet = DefaultFleet();
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
  const std::string text = SerializeFleet(fleet);
  EXPECT_EQ(SerializeFleet(ParseFleet(text)), text);
}

TEST(Fleet, BadFilesAreRejectedWithOneLineNamingTheKey) {
  const std::pair<const char*, const char*> cases[] = {
      {"not json", "not a JSON document"},
      {"[1, 2]", "expected a JSON object"},
      {R"({"drivez": []})", "drivez: unknown key"},
      {R"({"drives": {}})", "drives: expected a JSON array"},
      {R"({"drives": [{"temprature": 1}]})", "drives[0].temprature: unknown key"},
      {R"({"drives": [{}, {"health": {"foo": 1}}]})", "drives[1].health.foo: unknown key"},
      {R"({"drives": [{"pci": {"bus": 256}}]})", "drives[0].pci.bus: value 256 is above 255"},
      {R"({"drives": [{"index": "abc"}]})", "drives[0].index: expected an unsigned integer"},
      {R"({"drives": [{"index": 4294967296}]})", "drives[0].index: value 4294967296 is above"},
      {R"({"drives": [{"present": "yes"}]})", "drives[0].present: expected true or false"},
      {R"({"drives": [{"health": {"criticalWarnings": 256}}]})", "criticalWarnings: value 256"},
      {R"({"faults": {"show": "hnag"}})", "faults.show: unknown fault \"hnag\""},
      {R"({"faults": {"dump": "hang"}})", "faults.dump: unknown key"},
      {R"({"drives": [{"faults": {"version": "hang"}}]})", "drives[0].faults.version: unknown key"},
      {R"({"drives": [{"serial": "A"}, {"serial": "A"}]})", "drives[1].serial: serial number"},
      {R"({"drives": [{"settings": {"X": 1}}]})", "drives[0].settings.X: expected a string"},
  };
  for (const auto& [text, message] : cases) {
    try {
      ParseFleet(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const FleetError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(message), std::string::npos) << text << " -> " << what;
      EXPECT_EQ(what.find('\n'), std::string::npos) << what;
    }
  }
}

TEST(FleetStore, MissingFileIsTheDefaultFleetUntilAnEditWritesIt) {
  nimbra_test::TempDir dir;
  const FleetStore store(dir / "fleet.json");
  EXPECT_EQ(SerializeFleet(store.Load()), SerializeFleet(DefaultFleet()));
  EXPECT_FALSE(store.Edit([](Fleet&) { return false; }));
  EXPECT_EQ(::access((dir / "fleet.json").c_str(), F_OK), -1);  // nothing changed, nothing written

  EXPECT_TRUE(store.Edit([](Fleet& f) {
    f.drives[0].health.temperature = 77;
    return true;
  }));
  EXPECT_EQ(store.Load().drives[0].health.temperature, 77u);
  EXPECT_EQ(::access((dir / "fleet.json.lock").c_str(), F_OK), 0);
  // Only the fleet and its lock file are left in the folder (no temporary file).
  const std::filesystem::directory_iterator entries(dir.path());
  EXPECT_EQ(std::distance(begin(entries), end(entries)), 2);
}

TEST(FleetStore, EditKeepsTheFilesModeAndAFailedEditKeepsItsText) {
  nimbra_test::TempDir dir;
  const std::string path = dir.Write("fleet.json", R"({"drives": [{}]})");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const FleetStore store(path);
  store.Edit([](Fleet& f) {
    f.toolVersion = "1.2.3";
    return true;
  });
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const std::string before = nimbra_test::ReadFile(path);
  EXPECT_THROW(store.Edit([](Fleet& f) -> bool {
    f.toolVersion = "lost";
    throw FleetError("refused");
  }),
               FleetError);
  EXPECT_EQ(nimbra_test::ReadFile(path), before);
}

TEST(FleetStore, UnreadableOrInvalidFileNamesTheFile) {
  nimbra_test::TempDir dir;
  const std::string path = dir.Write("fleet.json", "{ broken");
  try {
    FleetStore(path).Load();
    ADD_FAILURE() << "accepted a broken file";
  } catch (const FleetError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("fleet file " + path + ": not a JSON document", 0), 0u)
        << e.what();
  }
  EXPECT_THROW(FleetStore(dir.path()).Load(), FleetError);  // a folder, not a file
}

}  // namespace
}  // namespace isdct_sim
