// The physical drive's property table through its handler: each state's
// severity, the temperature rule, empty texts and numbers at their limits,
// single-property selection; the drive's operations.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"

namespace nimbra_test {
namespace {

const int32_t kDriveIds[] = {30007, 30122, 30125, 30137, 30003, 30063, 30056,
                             30059, 30060, 30017, 30461, 30462, 30460, 30069};

std::vector<std::string> Records(IPLUGINAPI_IMPL& api, CIntelSSDPhysicalDrive d,
                                 int32_t which = PI::PROP_ALL) {
  std::vector<PI::CProperty> out(2);  // a vector that held records before
  EXPECT_EQ(0u, api.GetPhysicalDriveProperties(d, out, static_cast<PI::_PROPERTY_ID>(which)));
  return Rows(out);
}

using Change = std::function<void(CIntelSSDPhysicalDrive&)>;

Change State(uint32_t state) {
  return [=](CIntelSSDPhysicalDrive& d) { d.m_State = state; };
}
Change Named(const char* name, float temperature) {
  return [=](CIntelSSDPhysicalDrive& d) {
    d.m_DisplayName = name;
    d.m_Temperature = temperature;
  };
}
const Change kEmpty = [](CIntelSSDPhysicalDrive& d) {
  d.m_Location.clear();
  d.m_Vendor.clear();
  d.m_SectorSize = 0xFFFFFFFFu;  // sign-extended, as the host reads it
  d.m_PhysicalSize = 0;
};

TEST(DriveProperties, RowsThatDependOnTheDrive) {
  const std::string kStates = " of {40099,40180,40095}";
  struct Case {
    Change change;  // applied to CardDrive
    int32_t id;
    std::string row;  // "-": left out
  };
  const Case cases[] = {
      // Good and failed drives' severities are in the golden document.
      {State(40180), 30017, "30017 3 1 24189 1 ro | 40180" + kStates},
      {State(40150), 30017, "30017 3 1 24183 1 ro | 40150" + kStates},
      // The temperature belongs to the 2.5-inch family by its display name (the
      // golden document shows a reading and a card's drive without one).
      {Named("Torvik 2.5in", 14.0f), 30069, "30069 8 21000 0 0 ro | 0"},
      {Named("Torvik 2.5in 2TB (0)", -1.0f), 30069, "-"},
      {Named("Torvik 2.5", 42.0f), 30069, "-"},
      {Named("", 42.0f), 30069, "-"},
      {kEmpty, 30137, "30137 2 1 0 1 ro | \"\""},
      {kEmpty, 30003, "30003 2 1 0 1 ro | \"\""},
      {kEmpty, 30059, "30059 5 21002 0 1 ro | 0"},
      {kEmpty, 30460, "30460 5 21024 0 1 ro | 18446744073709551615"},
  };
  Plugin p;
  for (const Case& c : cases) {
    CIntelSSDPhysicalDrive d = CardDrive();
    c.change(d);
    EXPECT_EQ(c.row == "-" ? std::vector<std::string>{} : std::vector<std::string>{c.row},
              Records(*p.api, d, c.id))
        << c.id << " " << c.row;
  }
}

// The complete list is in table order (a card's drive has no temperature, a
// 2.5-inch one has); a single id gives that record or nothing.
TEST(DriveProperties, SelectionGivesTheRecordsInTableOrder) {
  Plugin p;
  for (const Change& change : {State(40099), Named("Torvik 2.5in 800GB (0)", 42.0f)}) {
    CIntelSSDPhysicalDrive d = CardDrive();
    change(d);
    std::vector<std::string> joined;
    for (const int32_t id : kDriveIds) {
      for (const std::string& r : Records(*p.api, d, id)) joined.push_back(r);
    }
    EXPECT_EQ(Records(*p.api, d), joined);
    for (const int32_t id : {0, 2, 30004, 30005, 30442, 30022, 30165, 40099, -1}) {
      EXPECT_TRUE(Records(*p.api, d, id).empty()) << id;
    }
  }
}

TEST(DriveOperations, CheckFollowsTheStateExecuteIsRefusedNothingIsWritable) {
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
  CIntelSSDPhysicalDrive d = CardDrive();
  std::vector<PI::COperation> ops(3);
  EXPECT_EQ(0u, p.api->GetPhysicalDriveOperations(d, ops));
  EXPECT_TRUE(ops.empty());
  const std::vector<std::string> before = Records(*p.api, d);
  for (const int32_t id : {30007, 30017, 30069, 30005}) {
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(id), true);
    property.SetValue(std::string("changed"));
    EXPECT_EQ(PI::ERR_PROPERTY_NOT_SETTABLE, p.api->SetPhysicalDriveProperty(d, property)) << id;
  }
  EXPECT_EQ(before, Records(*p.api, d));
}

}  // namespace
}  // namespace nimbra_test
