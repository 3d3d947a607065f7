// Change detection: the events a live adapter or drive raises when it takes
// over its newly scanned twin, the merge of old and new trees, and the
// event queue handed over by operation 50002 (through the plug-in's Execute).
// Removals and additions are in tests/monitor.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "NimbraImpl.h"
#include "PI/Status.h"

namespace {

using namespace NAMESPACE_Nimbra;

std::vector<std::pair<uint32_t, uint32_t>> Numbers(const std::vector<PI::CEvent>& events) {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (const PI::CEvent& e : events) out.emplace_back(e.m_EventID, e.m_Severity);
  return out;
}

TEST(AdapterUpdate, WarningTransitions) {
  using Events = std::vector<std::pair<uint32_t, uint32_t>>;
  struct Case {
    uint32_t from, to;
    Events events;
  };
  const Case cases[] = {
      {0x00, 0x11, {{EVT_BACKUP_FAILED, 4}, {EVT_SPARE_BELOW_THRESHOLD, 4}}},
      {0x01, 0x00, {{EVT_WARNINGS_CLEARED, 2}}},
      {0x01, 0x04, {{EVT_RELIABILITY_DEGRADED, 3}}},
      {0x20, 0x240, {{EVT_TEMP_80_TO_83, 4}, {EVT_TEMP_80_UP, 3}}},
      {0x240, 0x280, {{EVT_TEMP_84_UP, 4}}},
      {0x00, 0x20, {{EVT_TEMP_78_TO_79, 3}}},
      {0x02, 0x00, {{EVT_WARNINGS_CLEARED, 2}}},
      {0x00, 0x02, {}},
      {0x00, 0x08, {}},
      {0x11, 0x10, {}},  // a bit going clear while another stays raises nothing
      {0x04, 0x04, {}},
      {0x00,
       0x2d5,
       {{EVT_BACKUP_FAILED, 4},
        {EVT_RELIABILITY_DEGRADED, 3},
        {EVT_TEMP_80_TO_83, 4},
        {EVT_TEMP_84_UP, 4},
        {EVT_TEMP_80_UP, 3},
        {EVT_SPARE_BELOW_THRESHOLD, 4}}},
  };
  for (const Case& c : cases) {
    CIntelSSDAdapter live, scanned;
    live.m_ID = 0x0135000000000001ULL;
    live.m_ChangeCount = 5;
    live.m_DisplayName = "Torvik P3700 (0)";
    live.m_CriticalWarnings = c.from;
    live.AddParent(0x0135000000000000ULL);
    scanned.m_CriticalWarnings = c.to;
    scanned.m_DisplayName = "renamed";
    scanned.m_Temperature = 50.0f;
    std::vector<PI::CEvent> events;
    live.Update(scanned, events);
    EXPECT_EQ(c.events, Numbers(events)) << std::hex << c.from << " -> " << c.to;
    for (const PI::CEvent& e : events) {
      EXPECT_EQ(live.m_ID, e.m_ObjectID);
      EXPECT_EQ("Torvik P3700 (0)", e.m_ObjectName) << "the name before the update";
      EXPECT_EQ("Torvik P3700 (0)", e.GetPlaceHolder1());
      EXPECT_GT(e.m_Time, 0u);
    }
    EXPECT_EQ(6u, live.m_ChangeCount);
    EXPECT_EQ(c.to, live.m_CriticalWarnings);
    EXPECT_EQ("renamed", live.m_DisplayName);
    EXPECT_EQ(1u, live.m_Parents.size()) << "links are kept";
  }
}

TEST(DriveUpdate, SizeChangesRaiseOneEvent) {
  struct Case {
    uint64_t used;
    uint32_t sector;
    uint64_t capacity;
    size_t events;
  };
  const Case cases[] = {{100, 512, 100, 0},
                        {90, 512, 100, 1},
                        {100, 4096, 100, 1},
                        {90, 4096, 100, 1},
                        {100, 512, 999, 0}};
  for (const Case& c : cases) {
    CIntelSSDAdapter adapter;
    adapter.m_DisplayName = "Torvik 2.5in (1)";
    CIntelSSDPhysicalDrive live, scanned;
    live.m_ID = 0x0135000000000002ULL;
    live.m_DisplayName = "Torvik 2.5in 800GB (0)";
    live.m_UsedSize = 100;
    live.m_SectorSize = 512;
    live.m_Capacity = 100;
    scanned = live;
    scanned.m_UsedSize = c.used;
    scanned.m_SectorSize = c.sector;
    scanned.m_Capacity = c.capacity;
    std::vector<PI::CEvent> events;
    live.Update(scanned, adapter, events);
    ASSERT_EQ(c.events, events.size());
    if (c.events == 1) {
      EXPECT_EQ(EVT_DRIVE_SIZE_CHANGED, events[0].m_EventID);
      EXPECT_EQ(SEVERITY_INFO, events[0].m_Severity);
      EXPECT_EQ("Torvik 2.5in (1)", events[0].GetPlaceHolder1());
      EXPECT_EQ("Torvik 2.5in 800GB (0)", events[0].GetPlaceHolder2());
    }
    EXPECT_EQ(1u, live.m_ChangeCount);
    EXPECT_EQ(c.capacity, live.m_Capacity);
  }
}

// A live tree of adapter/drive pairs with the given serial numbers.
struct Tree {
  IPLUGINAPI_IMPL api;
  explicit Tree(std::initializer_list<const char*> serials) {
    api.m_DataLock.Init();
    api.m_EventsLock.Init();
    api.m_Plugin.m_ID = api.NewID();
    for (const char* serial : serials) {
      CIntelSSDAdapter& a = api.m_Adapters.emplace_back();
      CIntelSSDPhysicalDrive& d = api.m_PhysicalDrives.emplace_back();
      a.m_ID = api.NewID();
      d.m_ID = api.NewID();
      a.m_SerialNumber = d.m_SerialNumber = serial;
      a.m_Index = d.m_AdapterIndex = static_cast<uint32_t>(api.m_Adapters.size() - 1);
      a.AddChild(d.m_ID);
      d.AddParent(a.m_ID);
    }
  }
  // A scan result: copies of the live tree.
  std::pair<std::vector<CIntelSSDAdapter>, std::vector<CIntelSSDPhysicalDrive>> Scanned() {
    return {api.m_Adapters, api.m_PhysicalDrives};
  }
  std::vector<PI::CEvent> Fetch() {
    PI::COperation op;
    op.id = OP_GET_EVENTS;
    EXPECT_EQ(0u, api.Execute(PI::CMD_EXECUTE_OPERATION, api.m_Plugin.m_ID, &op));
    return op.GetEvents();
  }
};

// A merge without a change returns ERR_GENERAL. Events of one merge come
// adapter first, then drive; merges accumulate in the queue until a fetch
// empties it. Values without events are taken over.
TEST(UpdateSystem, EventsInAdapterThenDriveOrderAccumulateUntilFetched) {
  Tree t({"A", "B"});
  auto [a1, d1] = t.Scanned();
  EXPECT_EQ(PI::ERR_GENERAL, t.api.UpdateSystem(a1, d1));
  EXPECT_TRUE(t.Fetch().empty());
  EXPECT_EQ(0u, t.api.m_Plugin.m_ChangeCount);
  auto [a2, d2] = t.Scanned();
  a2[1].m_CriticalWarnings = 0x01;
  d2[0].m_SectorSize = 4096;
  EXPECT_EQ(0u, t.api.UpdateSystem(a2, d2));
  auto [a3, d3] = t.Scanned();
  a3[0].m_CriticalWarnings = 0x10;
  a3[0].m_Temperature = 61.0f;
  d3[1].m_Capacity = 123;
  EXPECT_EQ(0u, t.api.UpdateSystem(a3, d3));
  EXPECT_EQ(
      (std::vector<std::pair<uint32_t, uint32_t>>{
          {EVT_SPARE_BELOW_THRESHOLD, 4}, {EVT_DRIVE_SIZE_CHANGED, 2}, {EVT_BACKUP_FAILED, 4}}),
      Numbers(t.Fetch()));
  EXPECT_TRUE(t.Fetch().empty()) << "a second fetch finds the queue empty";
  EXPECT_EQ(123u, t.api.m_PhysicalDrives[1].m_Capacity);
  EXPECT_EQ(1u, t.api.m_PhysicalDrives[1].m_ChangeCount);
  EXPECT_FLOAT_EQ(61.0f, t.api.m_Adapters[0].m_Temperature);
}

}  // namespace
