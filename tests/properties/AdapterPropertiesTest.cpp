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

namespace nimbra_test {
namespace {

// Table order, which is output order.
const int32_t kAdapterIds[] = {30007, 30003, 30063, 30158, 30120, 30017, 30479, 30037, 30038, 30039,
                               30137, 30022, 30020, 30500, 30247, 30266, 30018, 30442, 30483, 30498,
                               30486, 30487, 30488, 30489, 30490, 30494, 30468, 30189, 30165};

const char kConditions[] =
    "{40387,40128,40393,40394,40395,40396,40397,40398,40399,40400,40401,40402,40266}";

// Every record of `adapter`, in order: id secondaryId textId attrA attrB attrC
// valueKind unit severityId flagA flagB floatMarker writable | value.
std::vector<std::string> Records(IPLUGINAPI_IMPL& api, CIntelSSDAdapter adapter,
                                 int32_t which = PI::PROP_ALL) {
  std::vector<PI::CProperty> out(3);  // a vector that held records before
  EXPECT_EQ(0u, api.GetAdapterProperties(adapter, out, static_cast<PI::_PROPERTY_ID>(which)));
  return Words(out);
}

int32_t IdOf(const std::string& record) { return std::stoi(record.substr(0, record.find(' '))); }

// `base` (the records of the healthy card, which the golden document pins)
// with records replaced or added (by id) and records left out, in table order.
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
  std::function<std::vector<std::string>()> changed;  // records that differ from HealthyCard's
  std::vector<int32_t> omitted;
};

const Case kCases[] = {
    {"fresh: no health log read yet",
     FreshCard,
     [] {
       return std::vector<std::string>{
           "30007 30007 23081 1 1 -1 2 1 0 1 0 0 ro | \"\"",
           "30486 35040 23110 1 1 -1 6 21010 0 0 0 0 ro | 100 in 0..100/1"};
     },
     {30442, 30483, 30498, 30489, 30490, 30494}},
    {"degraded: overheating and throttled",
     DegradedCard,
     [] {
       return std::vector<std::string>{
           "30017 30017 23127 1 1 -1 3 1 24002 1 0 0 ro | 40150 of {40024,40150,40095}",
           "30442 30442 23024 1 1 -1 8 21000 0 0 0 8 ro | 81",
           // Wear 50 after 1000 hours: another 1000 hours.
           "30483 30483 23045 1 1 -1 2 1 0 0 0 0 ro | \"" + DateIn(1000) + "\"",
           "30498 30498 23101 1 1 -1 5 21005 0 0 0 0 ro | 1000",
           "30490 30490 23018 1 1 -1 8 21034 0 0 0 8 ro | 5.12",
           "30468 30468 23147 1 1 -1 3 1 0 1 0 0 ro | 40410 of {40252,40410,40411}",
           std::string("30165 30165 23004 1 1 -1 7 1 0 1 0 0 ro | {40459} of ") + kConditions};
     },
     {}},
    {"failed: worn out, read-only",
     FailedCard,
     [] {
       return std::vector<std::string>{
           "30017 30017 23127 1 1 -1 3 1 24001 1 0 0 ro | 40095 of {40024,40150,40095}",
           "30483 30483 23045 1 1 -1 2 1 0 0 0 0 ro | \"" + DateIn(0) + "\"",
           "30486 35040 23110 1 1 -1 6 21010 0 0 0 0 ro | 3 in 0..100/1",
           "30487 30017 23112 1 1 -1 3 1 0 1 0 0 ro | 40474 of {40473,40150,40474}",
           "30468 30468 23147 1 1 -1 3 1 0 1 0 0 ro | 40411 of {40252,40410,40411}",
           "30189 30189 23143 1 1 -1 5 1 0 0 0 0 ro | 12",
           std::string("30165 30165 23004 1 1 -1 7 1 0 1 0 0 ro | {40460,40449,40487,40452} of ") +
               kConditions};
     },
     {}},
    {"empty texts: optional ones left out, others reported empty",
     [] {
       CIntelSSDAdapter a = HealthyCard();
       for (std::string* text :
            {&a.m_Firmware, &a.m_Bootloader, &a.m_DriverVersion, &a.m_DevicePath, &a.m_SerialNumber,
             &a.m_Location, &a.m_DriverName}) {
         text->clear();
       }
       return a;
     },
     [] {
       return std::vector<std::string>{"30137 30137 1 1 1 0 2 1 0 1 0 0 ro | \"\"",
                                       "30022 30022 23116 1 1 -1 2 1 0 1 0 0 ro | \"\"",
                                       "30247 30247 23090 1 1 -1 2 1 0 1 0 0 ro | \"\"",
                                       "30266 30266 23041 1 1 -1 2 1 0 1 0 0 ro | \"\""};
     },
     {30020, 30500, 30018}},
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
       return std::vector<std::string>{
           "30120 35004 23003 1 1 -1 5 1 0 1 0 0 ro | 18446744073709551615",
           "30479 35039 23134 1 1 -1 5 1 0 1 0 0 ro | 65535",
           "30037 35000 23132 1 1 -1 5 1 0 1 0 0 ro | 255",
           "30038 35002 23133 1 1 -1 5 1 0 1 0 0 ro | 31",
           "30039 35003 23135 1 1 -1 5 1 0 1 0 0 ro | 7"};
     },
     {}},
};

// The end-of-life date moves at midnight: a case is compared once more when
// the first comparison fails.
TEST(AdapterProperties, CompleteListsWithEveryWord) {
  Plugin p;
  for (const Case& c : kCases) {
    std::vector<std::string> expected, got;
    for (int attempt = 0; attempt < 2 && (attempt == 0 || got != expected); ++attempt) {
      expected = Patch(Records(*p.api, HealthyCard()), c.changed(), c.omitted);
      got = Records(*p.api, c.adapter());
    }
    EXPECT_EQ(expected, got) << c.name;
  }
}

// A single id gives that record of the complete list, or nothing.
TEST(AdapterProperties, SingleSelectionGivesThatRecordOrNothing) {
  Plugin p;
  for (const auto& adapter : {HealthyCard, FreshCard, FailedCard}) {
    const std::vector<std::string> all = Records(*p.api, adapter());
    for (const int32_t id : kAdapterIds) {
      std::vector<std::string> expected;
      for (const std::string& r : all) {
        if (IdOf(r) == id) expected.push_back(r);
      }
      EXPECT_EQ(expected, Records(*p.api, adapter(), id)) << id;
    }
    // Ids of the other objects' tables, and ids of no table: nothing.
    for (const int32_t id : {0, 2, 30004, 30005, 30069, 30099, 30122, 30460, 40024, 35004, -1}) {
      EXPECT_TRUE(Records(*p.api, adapter(), id).empty()) << id;
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

// Which models are add-in cards is the scan rules' table; here the rule that
// the property follows the model copy and reports the tool's reading.
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

// The unit steps are the host's conversion (tested there); here the units of
// 512000 bytes, the step to the first unit and an unset counter.
TEST(AdapterProperties, DataVolumesInTheHostsUnit) {
  struct Row {
    uint64_t units;
    const char* value;  // value and unit word
  };
  const Row rows[] = {
      {0, "0 21030"},
      {1, "512 21031"},
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
}  // namespace nimbra_test
