// The physical drive's property table: a failed drive with every word, each
// state, the temperature rule, single-property selection, and the drive's
// operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"
#include "PropertyWords.h"

namespace nimbra_test {
namespace {

const int32_t kDriveIds[] = {30007, 30122, 30125, 30137, 30003, 30063, 30056,
                             30059, 30060, 30017, 30461, 30462, 30460, 30069};

// A failed 2.5-inch drive whose temperature was not read, with empty texts
// and a sector size of all ones (the healthy drives' records are pinned by
// the golden document).
CIntelSSDPhysicalDrive FailedDrive() {
  CIntelSSDPhysicalDrive d = TwoAndAHalfDrive();
  d.m_State = 40095;
  d.m_Temperature = -1.0f;
  d.m_Location.clear();
  d.m_Vendor.clear();
  d.m_ModelNumber.clear();
  d.m_SectorSize = 0xFFFFFFFFu;  // sign-extended, as the host reads it
  d.m_PhysicalSize = 0;
  d.m_Capacity = 0;
  d.m_UsedSize = 0;
  d.m_UsedPercent = 0;
  return d;
}

const std::vector<std::string> kFailedDriveRecords = {
    "30007 30007 23285 1 1 -1 2 1 0 1 0 0 ro | \"Torvik 2.5in 800GB (0)\"",
    "30122 30122 23292 1 1 4 5 1 0 1 0 0 ro | 0",
    "30125 30125 23272 1 1 -1 5 1 0 1 0 0 ro | 0",
    "30137 30137 1 1 1 0 2 1 0 1 0 0 ro | \"\"",
    "30003 30003 23316 1 1 -1 2 1 0 1 0 0 ro | \"\"",
    "30063 30063 23295 1 1 -1 2 1 0 1 0 0 ro | \"\"",
    "30056 30056 23314 1 1 -1 3 1 0 1 0 0 ro | 40200 of {40200}",
    "30059 30059 23291 1 1 -1 5 21002 0 1 0 0 ro | 0",
    "30060 30060 23269 1 1 -1 5 21002 0 1 0 0 ro | 0",
    "30017 30017 23309 1 1 -1 3 1 24177 1 0 0 ro | 40095 of {40099,40180,40095}",
    "30461 30461 23278 1 1 -1 5 21002 0 1 0 0 ro | 0",
    "30462 30462 23277 1 1 -1 5 21010 0 1 0 0 ro | 0",
    "30460 30460 23266 1 1 -1 5 21024 0 1 0 0 ro | 18446744073709551615",
};

std::vector<std::string> Properties(IPLUGINAPI_IMPL& api, CIntelSSDPhysicalDrive d, int32_t which) {
  std::vector<PI::CProperty> out(2);  // a vector that held records before
  EXPECT_EQ(0u, api.GetPhysicalDriveProperties(d, out, static_cast<PI::_PROPERTY_ID>(which)));
  return Words(out);
}

TEST(DriveProperties, FailedDriveWithEveryWord) {
  Plugin p;
  EXPECT_EQ(kFailedDriveRecords, Properties(*p.api, FailedDrive(), PI::PROP_ALL));
}

// A single id gives that record of the complete list, or nothing.
TEST(DriveProperties, SingleSelectionGivesThatRecordOrNothing) {
  Plugin p;
  for (const auto& drive : {CardDrive, TwoAndAHalfDrive, FailedDrive}) {
    const std::vector<std::string> all = Properties(*p.api, drive(), PI::PROP_ALL);
    for (const int32_t id : kDriveIds) {
      std::vector<std::string> expected;
      for (const std::string& r : all) {
        if (r.compare(0, 6, std::to_string(id) + " ") == 0) expected.push_back(r);
      }
      EXPECT_EQ(expected, Properties(*p.api, drive(), id)) << "property " << id;
    }
    for (const int32_t id : {0, 2, 30004, 30005, 30442, 30022, 30165, 40099, -1}) {
      EXPECT_TRUE(Properties(*p.api, drive(), id).empty()) << "property " << id;
    }
  }
}

TEST(DriveProperties, StateSeverities) {
  struct Row {
    uint32_t state;
    const char* record;
  };
  const Row rows[] = {
      {40099, "30017 30017 23309 1 1 -1 3 1 24183 1 0 0 ro | 40099 of {40099,40180,40095}"},
      {40180, "30017 30017 23309 1 1 -1 3 1 24189 1 0 0 ro | 40180 of {40099,40180,40095}"},
      {40095, "30017 30017 23309 1 1 -1 3 1 24177 1 0 0 ro | 40095 of {40099,40180,40095}"},
      {40150, "30017 30017 23309 1 1 -1 3 1 24183 1 0 0 ro | 40150 of {40099,40180,40095}"},
  };
  Plugin p;
  for (const Row& r : rows) {
    CIntelSSDPhysicalDrive d = CardDrive();
    d.m_State = r.state;
    EXPECT_EQ(std::vector<std::string>{r.record}, Properties(*p.api, d, 30017)) << r.state;
  }
}

TEST(DriveProperties, TemperatureOnlyForTheTwoAndAHalfInchFamily) {
  struct Row {
    const char* name;
    float temperature;
    size_t count;  // 1 when 30069 is reported
  };
  const Row rows[] = {
      {"Torvik 2.5in 800GB (0)", 42.0f, 1},
      {"Torvik 2.5in", 14.0f, 1},
      {"Torvik 2.5in 2TB (0)", -1.0f, 0},
      {"Torvik P3700 400GB (0)", 42.0f, 0},
      {"Torvik 2.5", 42.0f, 0},
      {"", 42.0f, 0},
  };
  Plugin p;
  for (const Row& r : rows) {
    CIntelSSDPhysicalDrive d = TwoAndAHalfDrive();
    d.m_DisplayName = r.name;
    d.m_Temperature = r.temperature;
    EXPECT_EQ(r.count, Properties(*p.api, d, 30069).size()) << r.name;
  }
  CIntelSSDPhysicalDrive d = TwoAndAHalfDrive();
  d.m_Temperature = 14.0f;
  EXPECT_EQ(std::vector<std::string>{"30069 30069 23311 1 1 -1 8 21000 0 0 0 8 ro | 0"},
            Properties(*p.api, d, 30069));
}

TEST(DriveOperations, CheckOfTheDriveActionFollowsTheState) {
  struct Row {
    uint32_t state;
    int32_t operation;
    uint32_t check;
  };
  const Row rows[] = {
      {40099, 50026, 0},
      {40180, 50026, PI::ERR_OPERATION_REJECTED},
      {40095, 50026, PI::ERR_OPERATION_REJECTED},
      {0, 50026, PI::ERR_OPERATION_REJECTED},
      {40180, 50002, 0},
      {40095, 0, 0},
  };
  Plugin p;
  for (const Row& r : rows) {
    CIntelSSDPhysicalDrive d = CardDrive();
    d.m_State = r.state;
    PI::COperation op;
    op.id = r.operation;
    EXPECT_EQ(r.check, p.api->CheckPhysicalDriveOperation(d, op)) << r.state << " " << r.operation;
    EXPECT_EQ(PI::ERR_OPERATION_NOT_SUPPORTED, p.api->ExecutePhysicalDriveOperation(d, op));
    EXPECT_TRUE(op.GetEvents().empty());
  }
}

TEST(DriveOperations, NoneOfferedAndNoPropertyWritten) {
  Plugin p;
  CIntelSSDPhysicalDrive d = TwoAndAHalfDrive();
  std::vector<PI::COperation> ops(3);
  EXPECT_EQ(0u, p.api->GetPhysicalDriveOperations(d, ops));
  EXPECT_TRUE(ops.empty());
  const std::vector<std::string> before = Properties(*p.api, d, PI::PROP_ALL);
  for (const int32_t id : {30007, 30017, 30069, 30005}) {
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(id), true);
    property.SetValue(std::string("changed"));
    EXPECT_EQ(PI::ERR_PROPERTY_NOT_SETTABLE, p.api->SetPhysicalDriveProperty(d, property)) << id;
  }
  EXPECT_EQ(before, Properties(*p.api, d, PI::PROP_ALL));
}

}  // namespace
}  // namespace nimbra_test
