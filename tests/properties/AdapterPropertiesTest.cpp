// The adapter's property table through its handler: the rows whose value or
// presence depends on the adapter (a fresh card, empty texts, numbers at their
// limits, the temperature, data-volume, endurance and end-of-life rules);
// single-property selection; operations. The golden document pins the words
// of healthy, degraded and failed adapters.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"

namespace nimbra_test {
namespace {

// Table order, which is output order.
const int32_t kAdapterIds[] = {30007, 30003, 30063, 30158, 30120, 30017, 30479, 30037, 30038, 30039,
                               30137, 30022, 30020, 30500, 30247, 30266, 30018, 30442, 30483, 30498,
                               30486, 30487, 30488, 30489, 30490, 30494, 30468, 30189, 30165};

std::vector<std::string> Records(IPLUGINAPI_IMPL& api, CIntelSSDAdapter adapter,
                                 int32_t which = PI::PROP_ALL) {
  std::vector<PI::CProperty> out(3);  // a vector that held records before
  EXPECT_EQ(0u, api.GetAdapterProperties(adapter, out, static_cast<PI::_PROPERTY_ID>(which)));
  return Rows(out);
}

using Change = std::function<void(CIntelSSDAdapter&)>;

struct Case {
  const char* name;
  Change change;  // applied to HealthyCard
  int32_t id;
  std::string row;  // "-": left out
};

const Change kFresh = [](CIntelSSDAdapter& a) { a = FreshCard(); };
const Change kEmptyTexts = [](CIntelSSDAdapter& a) {
  for (std::string* text : {&a.m_Firmware, &a.m_Bootloader, &a.m_DriverVersion, &a.m_DevicePath,
                            &a.m_SerialNumber, &a.m_Location, &a.m_DriverName}) {
    text->clear();
  }
};
const Change kLimits = [](CIntelSSDAdapter& a) {
  a.m_Index = 0xFFFFFFFFu;  // sign-extended, as the host reads it
  a.m_PciSegment = 0xFFFF;
  a.m_PciBus = 255;
  a.m_PciDevice = 31;
  a.m_PciFunction = 7;
};
Change Temperature(const char* model, float t) {
  return [=](CIntelSSDAdapter& a) {
    a.m_ModelNumberCopy = model;
    a.m_Temperature = t;
  };
}
Change Volume(uint64_t written, uint64_t rating = 7300) {
  return [=](CIntelSSDAdapter& a) {
    a.m_DataUnitsRead = a.m_DataUnitsWritten = written;
    a.m_RatedEndurance = rating;
  };
}
Change Life(uint64_t hours, uint32_t wear, uint64_t written) {
  return [=](CIntelSSDAdapter& a) {
    a.m_PowerOnHours = hours;
    a.m_WearLevelingCount = wear;
    a.m_DataUnitsWritten = written;
  };
}

const Case kCases[] = {
    {"fresh: no host number yet", kFresh, 30007, "30007 2 1 0 1 ro | \"\""},
    {"fresh: reserve at its default", kFresh, 30486, "30486 6 21010 0 0 ro | 100 in 0..100/1"},
    {"fresh: no temperature", kFresh, 30442, "-"},
    {"fresh: no end of life", kFresh, 30483, "-"},
    {"fresh: no hours", kFresh, 30498, "-"},
    {"fresh: no data read", kFresh, 30489, "-"},
    {"fresh: no data written", kFresh, 30490, "-"},
    {"fresh: no endurance", kFresh, 30494, "-"},
    {"empty location reported", kEmptyTexts, 30137, "30137 2 1 0 1 ro | \"\""},
    {"empty serial reported", kEmptyTexts, 30022, "30022 2 1 0 1 ro | \"\""},
    {"empty path reported", kEmptyTexts, 30247, "30247 2 1 0 1 ro | \"\""},
    {"empty driver reported", kEmptyTexts, 30266, "30266 2 1 0 1 ro | \"\""},
    {"empty firmware left out", kEmptyTexts, 30020, "-"},
    {"empty bootloader left out", kEmptyTexts, 30500, "-"},
    {"empty driver version left out", kEmptyTexts, 30018, "-"},
    {"index", kLimits, 30120, "30120 5 1 0 1 ro | 18446744073709551615"},
    {"segment", kLimits, 30479, "30479 5 1 0 1 ro | 65535"},
    {"bus", kLimits, 30037, "30037 5 1 0 1 ro | 255"},
    {"device", kLimits, 30038, "30038 5 1 0 1 ro | 31"},
    {"function", kLimits, 30039, "30039 5 1 0 1 ro | 7"},
    // The temperature follows the model copy and reports the tool's reading.
    {"card", Temperature("INTEL SSDPEDMD400G4", 36.0f), 30442, "30442 8 21000 0 0 ro | 31"},
    {"card, cold", Temperature("INTEL SSDPEDMD400G4", 5.0f), 30442, "30442 8 21000 0 0 ro | 0"},
    {"card, unread", Temperature("INTEL SSDPEDMD400G4", -1.0f), 30442, "-"},
    {"2.5-inch", Temperature("INTEL SSDPE2MD800G4", 36.0f), 30442, "-"},
    {"2.5-inch form", Temperature("INTEL SSDPE2MD800G4", 36.0f), 30158,
     "30158 3 1 0 1 ro | 40488 of {40480,40488}"},
    // Units of 512000 bytes in the host's unit steps.
    {"none read", Volume(0), 30489, "30489 8 21030 0 0 ro | 0"},
    {"one unit written", Volume(1), 30490, "30490 8 21031 0 0 ro | 512"},
    {"terabytes written", Volume(9878424781ULL), 30490, "30490 8 21035 0 0 ro | 5.05775"},
    {"unset written", Volume(kUnset), 30490, "-"},
    // Endurance used counts whole units of 2^40 bytes against the rating.
    {"just below 2^40", Volume(2147483), 30494, "30494 6 21010 0 0 ro | 0 in 0..100/1"},
    {"4600 of 7300", Volume(9878424781ULL), 30494, "30494 6 21010 0 0 ro | 63 in 0..100/1"},
    {"beyond the rating", Volume(9878424781ULL, 4600), 30494,
     "30494 6 21010 0 0 ro | 100 in 0..100/1"},
    {"no rating", Volume(9878424781ULL, kUnset), 30494, "30494 6 21010 0 0 ro | 0 in 0..100/1"},
    {"unset written, no endurance", Volume(kUnset), 30494, "-"},
    // Wear 50 after 1000 hours: another 1000 hours; worn out: today.
    {"half worn", Life(1000, 50, 10000000), 30483, "30483 2 1 0 0 ro | \"" + DateIn(1000) + "\""},
    {"worn out", Life(1000, 0, kUnset), 30483, "30483 2 1 0 0 ro | \"" + DateIn(0) + "\""},
    {"no hours, no date", Life(kUnset, 0, kUnset), 30483, "-"},
    {"hours", Life(1000, 50, 1), 30498, "30498 5 21005 0 0 ro | 1000"},
};

TEST(AdapterProperties, RowsThatDependOnTheAdapter) {
  Plugin p;
  for (const Case& c : kCases) {
    CIntelSSDAdapter a = HealthyCard();
    c.change(a);
    const std::vector<std::string> got = Records(*p.api, a, c.id);
    EXPECT_EQ(c.row == "-" ? std::vector<std::string>{} : std::vector<std::string>{c.row}, got)
        << c.name;
    const std::vector<std::string> all = Records(*p.api, a);
    EXPECT_EQ(static_cast<long>(got.size()), std::count(all.begin(), all.end(), c.row))
        << c.name << " in the list";
  }
}

// The complete list is in table order; a single id gives that record or nothing.
TEST(AdapterProperties, SelectionGivesTheRecordsInTableOrder) {
  Plugin p;
  for (const auto& adapter : {HealthyCard, FreshCard, FailedCard}) {
    const std::vector<std::string> all = Records(*p.api, adapter());
    std::vector<std::string> joined;
    for (const int32_t id : kAdapterIds) {
      for (const std::string& r : Records(*p.api, adapter(), id)) joined.push_back(r);
    }
    EXPECT_EQ(all, joined);
    for (const int32_t id : {0, 2, 30004, 30005, 30069, 30099, 30122, 30460, 40024, 35004, -1}) {
      EXPECT_TRUE(Records(*p.api, adapter(), id).empty()) << id;
    }
  }
}

TEST(AdapterOperations, NoneOfferedEveryOneAcceptedNothingDone) {
  Plugin p;
  CIntelSSDAdapter a = HealthyCard();
  const std::vector<std::string> before = Records(*p.api, a);
  std::vector<PI::COperation> ops(2);
  EXPECT_EQ(0u, p.api->GetAdapterOperations(a, ops));
  EXPECT_TRUE(ops.empty());
  for (const int32_t id : {50002, 50026, 0, -1}) {
    PI::COperation op;
    op.id = id;
    EXPECT_EQ(0u, p.api->CheckAdapterOperation(a, op)) << id;
    EXPECT_EQ(0u, p.api->ExecuteAdapterOperation(a, op)) << id;
    EXPECT_TRUE(op.GetEvents().empty());
  }
  for (const int32_t id : {30007, 30005, 30486}) {
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(id), true);
    property.SetValue(50, 0, 100, 1);
    EXPECT_EQ(PI::ERR_PROPERTY_NOT_SETTABLE, p.api->SetAdapterProperty(a, property)) << id;
  }
  EXPECT_EQ(before, Records(*p.api, a));
  EXPECT_EQ(0u, a.m_ChangeCount);
}

}  // namespace
}  // namespace nimbra_test
