// The adapter's property table through its handler: the rows whose value or
// presence depends on the adapter (a fresh card, empty texts, numbers at their
// limits, the temperature, data-volume, endurance and end-of-life rules).
// The golden document pins the words and order of healthy, degraded and
// failed adapters; the rows here are those it cannot show.
#include <gtest/gtest.h>
#include <time.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"

namespace nimbra_test {
namespace {

std::vector<std::string> Records(IPLUGINAPI_IMPL& api, CIntelSSDAdapter adapter,
                                 int32_t which = PI::PROP_ALL) {
  std::vector<PI::CProperty> out(3);  // a vector that held records before
  EXPECT_EQ(0u, api.GetAdapterProperties(adapter, out, static_cast<PI::_PROPERTY_ID>(which)));
  return Rows(out);
}

// The end-of-life row with the UTC date `hours` from now ("2046-12-01").
std::string EndOfLifeRow(unsigned long hours) {
  const time_t then = time(nullptr) + static_cast<time_t>(hours) * 3600;
  struct tm tm {};
  gmtime_r(&then, &tm);
  char date[40];
  std::snprintf(date, sizeof date, "%4d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  return "30483 2 1 0 0 ro | \"" + std::string(date) + "\"";
}

using Change = std::function<void(CIntelSSDAdapter&)>;

// As the first scan of Initialize leaves it: identity only, no health log
// read yet, no host number (so no display name).
const Change kFresh = [](CIntelSSDAdapter& a) {
  const CIntelSSDAdapter fresh;
  a.m_DisplayName.clear();
  a.m_WearLevelingCount = fresh.m_WearLevelingCount;
  a.m_Temperature = fresh.m_Temperature;
  a.m_DataUnitsRead = fresh.m_DataUnitsRead;
  a.m_DataUnitsWritten = fresh.m_DataUnitsWritten;
  a.m_PowerOnHours = fresh.m_PowerOnHours;
  a.m_ReserveSpace = fresh.m_ReserveSpace;
  a.m_WarningThreshold = fresh.m_WarningThreshold;
};
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

TEST(AdapterProperties, RowsThatDependOnTheAdapter) {
  const std::string kCelsius = "30442 8 21000 0 0 ro | ";
  const std::string kEndurance = "30494 6 21010 0 0 ro | ";
  struct Case {
    const char* name;
    Change change;  // applied to HealthyCard
    std::vector<int32_t> ids;
    std::vector<std::string> rows;  // what the ids give one by one, in order
  };
  const Case cases[] = {
      {"fresh: no host number, reserve at its default, no health values",
       kFresh,
       {30007, 30486, 30442, 30483, 30498, 30489, 30490, 30494},
       {"30007 2 1 0 1 ro | \"\"", "30486 6 21010 0 0 ro | 100 in 0..100/1"}},
      {"empty texts: four reported, three left out",
       kEmptyTexts,
       {30137, 30022, 30247, 30266, 30020, 30500, 30018},
       {"30137 2 1 0 1 ro | \"\"", "30022 2 1 0 1 ro | \"\"", "30247 2 1 0 1 ro | \"\"",
        "30266 2 1 0 1 ro | \"\""}},
      {"numbers at their limits",
       kLimits,
       {30120, 30479, 30037, 30038, 30039},
       {"30120 5 1 0 1 ro | 18446744073709551615", "30479 5 1 0 1 ro | 65535",
        "30037 5 1 0 1 ro | 255", "30038 5 1 0 1 ro | 31", "30039 5 1 0 1 ro | 7"}},
      // The temperature follows the model copy and reports the tool's reading
      // (a card's at 36 reads 31 in the golden document).
      {"card, cold", Temperature("INTEL SSDPEDMD400G4", 5.0f), {30442}, {kCelsius + "0"}},
      {"card, unread", Temperature("INTEL SSDPEDMD400G4", -1.0f), {30442}, {}},
      {"twelve characters make a card",
       Temperature("INTEL SSDPED", 36.0f),
       {30158, 30442},
       {"30158 3 1 0 1 ro | 40480 of {40480,40488}", kCelsius + "31"}},
      {"2.5-inch: its form, no temperature",
       Temperature("INTEL SSDPE2MD800G4", 36.0f),
       {30158, 30442},
       {"30158 3 1 0 1 ro | 40488 of {40480,40488}"}},
      // Units of 512000 bytes in the host's unit steps (terabytes in the golden
      // document); endurance used counts whole units of 2^40 bytes against the
      // rating.
      {"none read", Volume(0), {30489}, {"30489 8 21030 0 0 ro | 0"}},
      {"one unit written", Volume(1), {30490}, {"30490 8 21031 0 0 ro | 512"}},
      {"terabytes written: 4600 of 7300",
       Volume(9878424781ULL),
       {30494},
       {kEndurance + "63 in 0..100/1"}},
      {"unset written: no volume, no endurance", Volume(kUnset), {30490, 30494}, {}},
      {"just below 2^40", Volume(2147483), {30494}, {kEndurance + "0 in 0..100/1"}},
      {"beyond the rating", Volume(9878424781ULL, 4600), {30494}, {kEndurance + "100 in 0..100/1"}},
      {"no rating", Volume(9878424781ULL, kUnset), {30494}, {kEndurance + "0 in 0..100/1"}},
      {"no hours, no date", Life(kUnset, 0, kUnset), {30483, 30498}, {}},
  };
  Plugin p;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CIntelSSDAdapter a = HealthyCard();
    c.change(a);
    std::vector<std::string> got;
    for (const int32_t id : c.ids) {
      for (const std::string& r : Records(*p.api, a, id)) got.push_back(r);
    }
    EXPECT_EQ(c.rows, got);
  }
  // Wear 50 after 1000 hours: another 1000 hours; worn out: today. A row that
  // differs from the date read before the call must match the one read after
  // it (the run crossed midnight).
  const std::pair<Change, unsigned long> dates[] = {{Life(1000, 50, 10000000), 1000},
                                                    {Life(1000, 0, kUnset), 0}};
  for (const auto& [change, hours] : dates) {
    CIntelSSDAdapter a = HealthyCard();
    change(a);
    const std::vector<std::string> before = {EndOfLifeRow(hours)};
    const std::vector<std::string> got = Records(*p.api, a, 30483);
    if (got != before) {
      EXPECT_EQ(std::vector<std::string>{EndOfLifeRow(hours)}, got) << hours;
    }
  }
}

}  // namespace
}  // namespace nimbra_test
