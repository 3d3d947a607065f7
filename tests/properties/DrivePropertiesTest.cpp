// The physical drive's property table through its handler: each state's
// severity, the temperature rule, empty texts and numbers at their limits
// (operations and writes are in tests/plugin).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"

namespace nimbra_test {
namespace {

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

}  // namespace
}  // namespace nimbra_test
