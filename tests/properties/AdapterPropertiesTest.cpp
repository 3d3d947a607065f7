// The adapter's property table: for fixture adapters (fresh, healthy, add-in
// card and 2.5-inch, degraded, failed, empty texts), the complete list of
// records with every word; single-property selection; the value rules that
// depend on numbers (temperature, data volumes, endurance); operations.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "PI/Status.h"
#include "PropertyWords.h"

namespace nimbra_props {
namespace {

// Table order, which is output order.
const int32_t kAdapterIds[] = {30007, 30003, 30063, 30158, 30120, 30017, 30479, 30037, 30038, 30039,
                               30137, 30022, 30020, 30500, 30247, 30266, 30018, 30442, 30483, 30498,
                               30486, 30487, 30488, 30489, 30490, 30494, 30468, 30189, 30165};

const char kConditions[] =
    "{40387,40128,40393,40394,40395,40396,40397,40398,40399,40400,40401,40402,40266}";

// Every record of HealthyCard(), in order: id secondaryId textId attrA attrB
// attrC valueKind unit severityId flagA flagB floatMarker writable | value.
std::vector<std::string> HealthyCardRecords() {
  return {
      "30007 30007 23081 1 1 -1 2 1 0 1 0 0 ro | \"Torvik P3700 (0)\"",
      "30003 30003 23144 1 1 -1 2 1 0 1 0 0 ro | \"Intel\"",
      "30063 30063 23102 1 1 -1 2 1 0 1 0 0 ro | \"INTEL SSDPEDMD400G4\"",
      "30158 30158 1 1 1 0 3 1 0 1 0 0 ro | 40480 of {40480,40488}",
      "30120 35004 23003 1 1 -1 5 1 0 1 0 0 ro | 0",
      "30017 30017 23127 1 1 -1 3 1 24000 1 0 0 ro | 40024 of {40024,40150,40095}",
      "30479 35039 23134 1 1 -1 5 1 0 1 0 0 ro | 0",
      "30037 35000 23132 1 1 -1 5 1 0 1 0 0 ro | 5",
      "30038 35002 23133 1 1 -1 5 1 0 1 0 0 ro | 0",
      "30039 35003 23135 1 1 -1 5 1 0 1 0 0 ro | 0",
      "30137 30137 1 1 1 0 2 1 0 1 0 0 ro | \"PCI:Bus=5&Device=0&Function=0\"",
      "30022 30022 23116 1 1 -1 2 1 0 1 0 0 ro | \"CVFT5213000A400BGN\"",
      "30020 30020 23051 1 1 -1 2 1 0 1 0 0 ro | \"8DV101H0\"",
      "30500 30500 23016 1 1 -1 2 1 0 1 0 0 ro | \"8B1B0133\"",
      "30247 30247 23090 1 1 -1 2 1 0 1 0 0 ro | \"/dev/nvme0n1\"",
      "30266 30266 23041 1 1 -1 2 1 0 1 0 0 ro | \"nvme\"",
      "30018 30018 23042 1 1 -1 2 1 0 1 0 0 ro | \"1.0\"",
      "30442 30442 23024 1 1 -1 8 21000 0 0 0 8 ro | 31",
      // Wear 99 and 8760 hours: beyond the 175200-hour cap of the estimate.
      "30483 30483 23045 1 1 -1 2 1 0 0 0 0 ro | \"" + DateIn(175200) + "\"",
      "30498 30498 23101 1 1 -1 5 21005 0 0 0 0 ro | 8760",
      "30486 35040 23110 1 1 -1 6 21010 0 0 0 0 ro | 98 in 0..100/1",
      "30487 30017 23112 1 1 -1 3 1 0 1 0 0 ro | 40473 of {40473,40150,40474}",
      "30488 35041 23113 1 1 -1 6 21010 0 1 0 0 ro | 10 in 1..100/1",
      // 1234567 x 512000 bytes = 632.098 GB; 2345678 x 512000 = 1.20099 TB.
      "30489 30489 23017 1 1 -1 8 21033 0 0 0 8 ro | 632.098",
      "30490 30490 23018 1 1 -1 8 21034 0 0 0 8 ro | 1.20099",
      "30494 30494 23105 1 1 -1 6 21010 0 0 0 0 ro | 0 in 0..100/1",
      "30468 30468 23147 1 1 -1 3 1 0 1 0 0 ro | 40252 of {40252,40410,40411}",
      "30189 30189 23143 1 1 -1 5 1 0 0 0 0 ro | 0",
  };
}

int32_t IdOf(const std::string& record) { return std::stoi(record.substr(0, record.find(' '))); }

// `base` with records replaced or added (by id) and records left out, in
// table order.
std::vector<std::string> Patch(const std::vector<std::string>& base,
                               const std::vector<std::string>& changed,
                               const std::vector<int32_t>& omitted = {}) {
  std::map<int32_t, std::string> byId;
  for (const std::string& r : base) byId[IdOf(r)] = r;
  for (const std::string& r : changed) byId[IdOf(r)] = r;
  for (const int32_t id : omitted) byId.erase(id);
  std::vector<std::string> records;
  for (const int32_t id : kAdapterIds) {
    if (byId.count(id) != 0) records.push_back(byId[id]);
  }
  return records;
}

struct Case {
  const char* name;
  std::function<CIntelSSDAdapter()> adapter;
  std::function<std::vector<std::string>()> records;
};

const Case kCases[] = {
    {"healthy add-in card", HealthyCard, HealthyCardRecords},
    {"fresh: no health log read yet", FreshCard,
     [] {
       return Patch(HealthyCardRecords(),
                    {"30007 30007 23081 1 1 -1 2 1 0 1 0 0 ro | \"\"",
                     "30486 35040 23110 1 1 -1 6 21010 0 0 0 0 ro | 100 in 0..100/1"},
                    {30442, 30483, 30498, 30489, 30490, 30494});
     }},
    {"healthy 2.5-inch: no adapter temperature", HealthyTwoAndAHalf,
     [] {
       return Patch(HealthyCardRecords(),
                    {"30007 30007 23081 1 1 -1 2 1 0 1 0 0 ro | \"Torvik 2.5in (2)\"",
                     "30063 30063 23102 1 1 -1 2 1 0 1 0 0 ro | \"INTEL SSDPE2MD800G4\"",
                     "30158 30158 1 1 1 0 3 1 0 1 0 0 ro | 40488 of {40480,40488}",
                     "30120 35004 23003 1 1 -1 5 1 0 1 0 0 ro | 2",
                     "30037 35000 23132 1 1 -1 5 1 0 1 0 0 ro | 129",
                     "30137 30137 1 1 1 0 2 1 0 1 0 0 ro | \"PCI:Bus=129&Device=0&Function=0\"",
                     "30022 30022 23116 1 1 -1 2 1 0 1 0 0 ro | \"PHFT5202002C800BGN\"",
                     "30247 30247 23090 1 1 -1 2 1 0 1 0 0 ro | \"/dev/nvme2n1\""},
                    {30442});
     }},
    {"degraded: overheating and throttled", DegradedCard,
     [] {
       return Patch(
           HealthyCardRecords(),
           {"30017 30017 23127 1 1 -1 3 1 24002 1 0 0 ro | 40150 of {40024,40150,40095}",
            "30442 30442 23024 1 1 -1 8 21000 0 0 0 8 ro | 81",
            // Wear 50 after 1000 hours: another 1000 hours.
            "30483 30483 23045 1 1 -1 2 1 0 0 0 0 ro | \"" + DateIn(1000) + "\"",
            "30498 30498 23101 1 1 -1 5 21005 0 0 0 0 ro | 1000",
            "30490 30490 23018 1 1 -1 8 21034 0 0 0 8 ro | 5.12",
            "30468 30468 23147 1 1 -1 3 1 0 1 0 0 ro | 40410 of {40252,40410,40411}",
            std::string("30165 30165 23004 1 1 -1 7 1 0 1 0 0 ro | {40459} of ") + kConditions});
     }},
    {"failed: worn out, read-only", FailedCard,
     [] {
       return Patch(
           HealthyCardRecords(),
           {"30017 30017 23127 1 1 -1 3 1 24001 1 0 0 ro | 40095 of {40024,40150,40095}",
            "30483 30483 23045 1 1 -1 2 1 0 0 0 0 ro | \"" + DateIn(0) + "\"",
            "30486 35040 23110 1 1 -1 6 21010 0 0 0 0 ro | 3 in 0..100/1",
            "30487 30017 23112 1 1 -1 3 1 0 1 0 0 ro | 40474 of {40473,40150,40474}",
            "30468 30468 23147 1 1 -1 3 1 0 1 0 0 ro | 40411 of {40252,40410,40411}",
            "30189 30189 23143 1 1 -1 5 1 0 0 0 0 ro | 12",
            std::string("30165 30165 23004 1 1 -1 7 1 0 1 0 0 ro | {40460,40449,40487,40452} of ") +
                kConditions});
     }},
    {"empty texts: optional ones left out, others reported empty",
     [] {
       CIntelSSDAdapter a = HealthyCard();
       a.m_Firmware.clear();
       a.m_Bootloader.clear();
       a.m_DriverVersion.clear();
       a.m_DevicePath.clear();
       a.m_SerialNumber.clear();
       a.m_Location.clear();
       a.m_DriverName.clear();
       return a;
     },
     [] {
       return Patch(HealthyCardRecords(),
                    {"30137 30137 1 1 1 0 2 1 0 1 0 0 ro | \"\"",
                     "30022 30022 23116 1 1 -1 2 1 0 1 0 0 ro | \"\"",
                     "30247 30247 23090 1 1 -1 2 1 0 1 0 0 ro | \"\"",
                     "30266 30266 23041 1 1 -1 2 1 0 1 0 0 ro | \"\""},
                    {30020, 30500, 30018});
     }},
    {"index and PCI numbers at their limits",
     [] {
       CIntelSSDAdapter a = HealthyCard();
       a.m_Index = 0xFFFFFFFFu;  // sign-extended, as the host reads it
       a.m_PciSegment = 0xFFFF;
       a.m_PciBus = 255;
       a.m_PciDevice = 31;
       a.m_PciFunction = 7;
       return a;
     },
     [] {
       return Patch(HealthyCardRecords(),
                    {"30120 35004 23003 1 1 -1 5 1 0 1 0 0 ro | 18446744073709551615",
                     "30479 35039 23134 1 1 -1 5 1 0 1 0 0 ro | 65535",
                     "30037 35000 23132 1 1 -1 5 1 0 1 0 0 ro | 255",
                     "30038 35002 23133 1 1 -1 5 1 0 1 0 0 ro | 31",
                     "30039 35003 23135 1 1 -1 5 1 0 1 0 0 ro | 7"});
     }},
};

// The records the handler gives for `adapter` and `which`, with the
// expected ones computed just before and just after (the end-of-life date
// moves at midnight).
struct Outcome {
  std::vector<std::string> before, got, after;
  uint32_t status;
  bool Matches() const { return got == before || got == after; }
};

Outcome Select(IPLUGINAPI_IMPL& api, CIntelSSDAdapter adapter, PI::_PROPERTY_ID which,
               const std::function<std::vector<std::string>()>& expected) {
  Outcome o;
  o.before = expected();
  std::vector<PI::CProperty> out(3);  // a vector that held records before
  o.status = api.GetAdapterProperties(adapter, out, which);
  o.got = Words(out);
  o.after = expected();
  return o;
}

TEST(AdapterProperties, CompleteListsWithEveryWord) {
  Plugin p;
  for (const Case& c : kCases) {
    const Outcome o = Select(*p.api, c.adapter(), PI::PROP_ALL, c.records);
    EXPECT_EQ(0u, o.status) << c.name;
    EXPECT_TRUE(o.Matches()) << c.name << "\n"
                             << ::testing::PrintToString(o.got) << "\nexpected\n"
                             << ::testing::PrintToString(o.before);
    EXPECT_LE(o.got.size(), 29u) << c.name;
  }
}

TEST(AdapterProperties, SingleSelectionGivesThatRecordOrNothing) {
  Plugin p;
  for (const Case& c : kCases) {
    const std::vector<std::string> all = c.records();
    for (const int32_t id : kAdapterIds) {
      auto one = [&] {
        std::vector<std::string> selected;
        for (const std::string& r : c.records()) {
          if (IdOf(r) == id) selected.push_back(r);
        }
        return selected;
      };
      const Outcome o = Select(*p.api, c.adapter(), static_cast<PI::_PROPERTY_ID>(id), one);
      EXPECT_EQ(0u, o.status);
      EXPECT_TRUE(o.Matches()) << c.name << ", property " << id << ": "
                               << ::testing::PrintToString(o.got);
    }
    // Ids of the other objects' tables, and ids of no table: nothing.
    for (const int32_t id : {0, 2, 30004, 30005, 30069, 30099, 30122, 30460, 40024, 35004, -1}) {
      const Outcome o = Select(*p.api, c.adapter(), static_cast<PI::_PROPERTY_ID>(id),
                               [] { return std::vector<std::string>(); });
      EXPECT_EQ(0u, o.status);
      EXPECT_TRUE(o.got.empty()) << c.name << ", property " << id << ": "
                                 << ::testing::PrintToString(o.got);
    }
  }
}

// One property's value text ("-" when the property is left out).
std::string Value(IPLUGINAPI_IMPL& api, CIntelSSDAdapter a, int32_t id) {
  std::vector<PI::CProperty> out;
  api.GetAdapterProperties(a, out, static_cast<PI::_PROPERTY_ID>(id));
  if (out.empty()) return "-";
  const std::string words = Words(out.front());
  return words.substr(words.find("| ") + 2);
}

TEST(AdapterProperties, TemperatureOnlyForAddInCardsAsTheToolReadsIt) {
  struct Row {
    const char* model;
    float temperature;
    const char* expected;
  };
  const Row rows[] = {
      {"INTEL SSDPEDMD400G4", 36.0f, "31"},
      {"INTEL SSDPEDMD400G4", 5.0f, "0"},
      {"INTEL SSDPEDMD400G4", -1.0f, "-"},
      {"INTEL SSDPE2MD800G4", 36.0f, "-"},
      {"INTEL SSDPED", 36.0f, "31"},
      {"INTEL SSDPE", 36.0f, "-"},
      {"", 36.0f, "-"},
      {"intel ssdpedmd400g4", 36.0f, "-"},
  };
  Plugin p;
  for (const Row& r : rows) {
    CIntelSSDAdapter a = HealthyCard();
    a.m_ModelNumberCopy = r.model;
    a.m_Temperature = r.temperature;
    EXPECT_EQ(r.expected, Value(*p.api, a, 30442)) << r.model << " " << r.temperature;
  }
  // The form factor follows the same test of the model copy.
  CIntelSSDAdapter a = HealthyCard();
  a.m_ModelNumberCopy = "INTEL SSDPE2MD800G4";
  EXPECT_EQ("40488 of {40480,40488}", Value(*p.api, a, 30158));
}

TEST(AdapterProperties, DataVolumesInTheHostsUnit) {
  struct Row {
    uint64_t units;
    const char* value;  // value and unit word
  };
  const Row rows[] = {
      {0, "0 21030"},
      {1, "512 21031"},
      {2000, "1.024 21033"},
      {1234567, "632.098 21033"},
      {2345678, "1.20099 21034"},
      {9878424781ULL, "5.05775 21035"},
      {kUnset, "-"},
  };
  Plugin p;
  for (const Row& r : rows) {
    for (const int32_t id : {30489, 30490}) {
      CIntelSSDAdapter a = HealthyCard();
      (id == 30489 ? a.m_DataUnitsRead : a.m_DataUnitsWritten) = r.units;
      std::vector<PI::CProperty> out;
      p.api->GetAdapterProperties(a, out, static_cast<PI::_PROPERTY_ID>(id));
      const std::string got =
          out.empty() ? "-" : Value(*p.api, a, id) + " " + std::to_string(out.front().unit);
      EXPECT_EQ(r.value, got) << id << " " << r.units;
    }
  }
}

TEST(AdapterProperties, EnduranceUsedCountsWholeUnitsOfTwoToTheForty) {
  struct Row {
    uint64_t written;
    uint64_t rating;
    const char* expected;
  };
  const Row rows[] = {
      {0, 7300, "0 in 0..100/1"},
      {2147483, 7300, "0 in 0..100/1"},         // just below 2^40 bytes
      {2147484, 7300, "0 in 0..100/1"},         // just above: 100 / 7300
      {9878424781ULL, 7300, "63 in 0..100/1"},  // 4600 units of 2^40
      {9878424781ULL, 4600, "100 in 0..100/1"},
      {9878424781ULL, kUnset, "0 in 0..100/1"},  // model without a rating
      {kUnset, 7300, "-"},
  };
  Plugin p;
  for (const Row& r : rows) {
    CIntelSSDAdapter a = HealthyCard();
    a.m_DataUnitsWritten = r.written;
    a.m_RatedEndurance = r.rating;
    EXPECT_EQ(r.expected, Value(*p.api, a, 30494)) << r.written << " / " << r.rating;
  }
}

TEST(AdapterProperties, EndOfLifeDateNeedsPowerOnHoursOnly) {
  Plugin p;
  CIntelSSDAdapter a = HealthyCard();
  a.m_DataUnitsWritten = kUnset;
  a.m_WearLevelingCount = 0;  // worn out: today
  const std::string today = DateIn(0);
  const std::string got = Value(*p.api, a, 30483);
  EXPECT_TRUE(got == "\"" + today + "\"" || got == "\"" + DateIn(0) + "\"") << got;
  a.m_PowerOnHours = kUnset;
  EXPECT_EQ("-", Value(*p.api, a, 30483));
  EXPECT_EQ("-", Value(*p.api, a, 30498));
}

TEST(AdapterOperations, NoneOfferedEveryOneAcceptedNothingDone) {
  Plugin p;
  CIntelSSDAdapter a = HealthyCard();
  const CIntelSSDAdapter before = a;
  std::vector<PI::COperation> ops(2);
  EXPECT_EQ(0u, p.api->GetAdapterOperations(a, ops));
  EXPECT_TRUE(ops.empty());
  for (const int32_t id : {50002, 50026, 0, -1, 12345}) {
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
  std::vector<PI::CProperty> now, then;
  p.api->GetAdapterProperties(a, now, PI::PROP_ALL);
  CIntelSSDAdapter copy = before;
  p.api->GetAdapterProperties(copy, then, PI::PROP_ALL);
  EXPECT_EQ(Words(then), Words(now));
  EXPECT_EQ(before.m_ChangeCount, a.m_ChangeCount);
}

}  // namespace
}  // namespace nimbra_props
