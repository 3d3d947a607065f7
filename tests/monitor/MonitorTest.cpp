// The plug-in's worker against the SSD tool simulator: health changes reach
// the host as events (a refresh that sees a changed warning word scans
// fully), a stopped plug-in that starts again, a drive that leaves while the
// inventory fails (which changes nothing) and comes back, readings on the
// drive with their serial number, host requests that do not wait for a hung
// tool, DeInitialize that is prompt or cancels a hung worker after its
// grace, and a thousand starts and stops that leave nothing behind.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "LivePlugin.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLXX/System.h"

namespace {

using namespace NAMESPACE_Nimbra;
using namespace nimbra_test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kSetCard = std::string("sim-set ") + kCard + " ";

// Host requests made while a tool run hangs, timed.
Clock::duration TimeRequests(LivePlugin& live) {
  const auto start = Clock::now();
  live.Topology();
  std::vector<PI::CProperty> properties;
  EXPECT_EQ(0u, live.api->Execute(PI::CMD_GET_PROPERTIES, live.AdapterId(kCard), &properties));
  return Clock::now() - start;
}

// A running worker is kept; a stopped one starts again, and a new poll
// interval wakes it from a far-away cycle.
TEST(Monitor, HealthChangesRaiseEventsAlsoAfterARestart) {
  LivePlugin live(BuiltInFleet(1));
  ASSERT_TRUE(live.Start());
  auto* first = live.api->m_WorkerThread.get();
  ASSERT_EQ(0u, live.api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &live.ids));
  EXPECT_EQ(first, live.api->m_WorkerThread.get()) << "a running worker is kept";
  ASSERT_EQ(0u, live.Stop());
  live.api->m_PollInterval = 200;
  ASSERT_TRUE(live.Start()) << "started again, it monitors again";
  // Its next cycle is far away; a new poll interval wakes it.
  PI::CProperty interval;
  interval.id = 30005;
  ASSERT_EQ(0u, live.api->Execute(PI::CMD_GET_PROPERTY, live.api->m_Plugin.m_ID, &interval));
  interval.intValue = 2;
  ASSERT_EQ(0u, live.api->Execute(PI::CMD_SET_PROPERTY, live.api->m_Plugin.m_ID, &interval));
  const uint64_t card = live.AdapterId(kCard);
  struct Step {
    const char* edit;
    std::vector<uint32_t> events;
  };
  const Step steps[] = {
      {"temperature=80", {EVT_TEMP_84_UP, EVT_TEMP_80_UP}},  // 85 with the add-in margin
      {"temperature=30 criticalWarnings=0x01", {EVT_SPARE_BELOW_THRESHOLD}},
      {"criticalWarnings=0", {EVT_WARNINGS_CLEARED}},
  };
  std::vector<uint32_t> expected;
  for (const Step& s : steps) {
    live.Sim(kSetCard + s.edit);
    expected.insert(expected.end(), s.events.begin(), s.events.end());
    ASSERT_TRUE(live.WaitForEvents(expected.size())) << s.edit;
    EXPECT_EQ(expected, live.EventIds()) << s.edit;
  }
  for (const PI::CEvent& e : live.Events()) {
    EXPECT_EQ(card, e.m_ObjectID);
    EXPECT_EQ("Torvik P3700 (0)", e.m_ObjectName);
  }
}

// A drive pulled while the inventory hangs to the tool's time limit: that
// scan says nothing about the drives and changes nothing, requests meanwhile
// are answered at once, and the next cycle scans fully again without being
// asked, so the drive is removed with one event. Put back, it is added with
// new IDs.
TEST(Monitor, ADriveThatLeavesWhileTheInventoryHangsThenComesBack) {
  LivePlugin live(BuiltInFleet(2));
  ASSERT_TRUE(live.Start());
  TLXX::CSystem::SetCommandTimeout(3000);
  const uint64_t before = live.AdapterId(kSecond);
  const uint64_t drive = live.Topology().back().m_ID;
  const int children = Children();
  live.Sim("sim-set --fleet faults.show=hang");
  live.Sim(std::string("sim-set ") + kSecond + " present=false");
  live.api->m_ForceWorker.Set();  // a host-side trigger: no plug-in operation sets it
  ASSERT_TRUE(WaitFor([&] { return Children() > children; }, seconds(5)));
  EXPECT_LT(TimeRequests(live), milliseconds(500)) << "a request waited for the tool";
  live.Sim("sim-set --fleet faults.show=none");
  ASSERT_TRUE(live.WaitForEvents(1)) << "the next poll scans fully";
  EXPECT_EQ(std::vector<uint32_t>{EVT_ADAPTER_REMOVED}, live.EventIds());
  EXPECT_EQ(before, live.Events()[0].m_ObjectID);
  std::vector<PI::CProperty> properties;
  for (uint64_t gone : {before, drive}) {
    EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND,
              live.api->Execute(PI::CMD_GET_PROPERTIES, gone, &properties));
  }
  live.Sim(std::string("sim-set ") + kSecond + " present=true");
  live.api->m_ForceWorker.Set();
  ASSERT_TRUE(live.WaitForEvents(2));
  // The numbers hosts match on, written out: a changed constant must fail here.
  EXPECT_EQ((std::vector<uint32_t>{11094, 11093}), live.EventIds());
  EXPECT_GT(live.AdapterId(kSecond), before);
  EXPECT_EQ(5u, live.Topology().size());
}

// Records and tree in different orders (a drive that left and came back is
// appended to the tree) and tool indices that are not positions: a refresh
// patches the adapter and drive with the record's serial number.
TEST(Monitor, HealthReadingsLandOnTheDriveWithTheirSerialNumber) {
  struct Case {
    const char* fleet;
    std::vector<std::string> serials;
    int margin;
  };
  const Case cases[] = {
      {R"({"drives": [{}, {}]})", {kCard, kSecond}, 5},  // the card left and came back
      {R"({"drives": [{"index": 7, "serial": "PHFT0007", "model": "INTEL SSDPE2MD800G4"},
                      {"index": 3, "serial": "PHFT0003", "model": "INTEL SSDPE2MD800G4"}]})",
       {"PHFT0007", "PHFT0003"},
       14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serials[0]);
    LivePlugin live(c.fleet);
    ASSERT_EQ(0u, live.Initialize());
    live.api->m_HealthReadPauseMs = 0;
    live.api->m_AdapterIDs = live.ids;
    auto cycle = [&](bool fullScan) {  // as the worker calls it
      EXPECT_TRUE(live.api->WorkerTakesData());
      return fullScan ? live.api->FullScan() : live.api->RefreshHealth();
    };
    ASSERT_TRUE(cycle(true));
    if (c.margin == 5) {
      live.Sim("sim-set " + c.serials[0] + " present=false");
      ASSERT_TRUE(cycle(true));
      live.Sim("sim-set " + c.serials[0] + " present=true");
      ASSERT_TRUE(cycle(true));
      ASSERT_EQ(c.serials[0], live.api->m_Adapters.back().m_SerialNumber) << "appended";
    }
    live.Sim("sim-set " + c.serials[0] + " temperature=40");
    live.Sim("sim-set " + c.serials[1] + " temperature=50");
    EXPECT_FALSE(cycle(false)) << "no warning word changed";
    for (size_t i = 0; i < 2; ++i) {
      const float expected = static_cast<float>((i == 0 ? 40 : 50) + c.margin);
      EXPECT_EQ(expected, FindBySerial(live.api->m_Adapters, c.serials[i])->m_Temperature);
      EXPECT_EQ(expected, FindBySerial(live.api->m_PhysicalDrives, c.serials[i])->m_Temperature);
    }
  }
}

// The pauses of a refresh end at a stop request, and the refresh stops at
// the next record: DeInitialize is prompt whether the worker idles or
// refreshes twelve drives (a 12 s refresh).
TEST(Monitor, DeInitializeIsPromptIdleOrInALongRefresh) {
  for (const int drives : {1, 12}) {
    SCOPED_TRACE(drives);
    LivePlugin live(BuiltInFleet(drives));
    ASSERT_TRUE(live.Start());
    // DeInitialize's own fixed pauses shortened: what is timed is the worker.
    live.api->m_StopSettleMs = 0;
    live.api->m_StopPollMs = 10;
    const int children = Children();
    if (drives > 1) {
      ASSERT_TRUE(WaitFor([&] { return Children() > children; }, seconds(5))) << "a refresh runs";
    }
    const auto start = Clock::now();
    EXPECT_EQ(0u, live.Stop());
    EXPECT_LT(Clock::now() - start, milliseconds(drives > 1 ? 2000 : 900));
    EXPECT_EQ(0, live.api->m_WorkerThread->Wait(0));
  }
}

// A refresh whose page-2 read hangs (no time limit short of the default):
// requests are answered meanwhile, and DeInitialize cancels the worker after
// its grace, kills and reaps the tool and leaves the data lock free.
TEST(Monitor, AWorkerStuckInAHungToolIsCancelledAfterItsGrace) {
  LivePlugin live(BuiltInFleet(1));
  ASSERT_TRUE(live.Start());
  const int children = Children();
  live.Sim(kSetCard + "faults.log2=hang");
  ASSERT_TRUE(WaitFor([&] { return Children() > children; }, seconds(5)));
  EXPECT_LT(TimeRequests(live), milliseconds(500)) << "a request waited for the tool";
  const auto start = Clock::now();
  EXPECT_EQ(0u, live.Stop());
  const auto waited = Clock::now() - start;
  EXPECT_GT(waited, seconds(24));
  EXPECT_LT(waited, seconds(32));
  EXPECT_TRUE(WaitFor([&] { return live.api->m_WorkerThread->Wait(0) == 0; }, seconds(5)));
  EXPECT_TRUE(WaitFor([&] { return Children() <= children; }, seconds(5)))
      << "the hung tool's process group is killed and reaped";
  EXPECT_EQ(3u, live.Topology().size()) << "the data lock is free";
}

// Started and stopped a thousand times, every tenth start repeated while
// the worker runs: no thread, descriptor or child is left. A script replays
// the tool's inventory, so that a cycle costs two short tool runs.
TEST(Lifecycle, AThousandStartsAndStopsLeaveNothingBehind) {
  LivePlugin live(BuiltInFleet(1));
  ReplayTool(live.dir, "host");
  TLX::Misc::CTlxApplication::SetProcessPathOverride(live.dir / "host/nimbra-host");
  live.api->m_StopSettleMs = 0;
  live.api->m_StopPollMs = 1;
  int threads = 0, descriptors = 0, children = 0;
  testing::internal::CaptureStdout();  // Initialize's console line, each time
  // The baselines are taken after the first cycle, once the runtime's own
  // threads (a sanitizer's, say) have started.
  for (int i = 0; i <= 1000; ++i) {
    if (i == 1) {
      threads = Threads();
      descriptors = OpenDescriptors();
      children = Children();
    }
    for (int start = 0; start < (i % 10 == 0 ? 2 : 1); ++start) {
      std::vector<PI::CAdapterID> ids;
      ASSERT_EQ(0u, live.api->Execute(PI::CMD_INITIALIZE, 0, &ids)) << "start " << i;
      ASSERT_EQ(1u, ids.size());
      ids[0].m_HostNumber = 0;
      ASSERT_EQ(0u, live.api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids));
      live.api->m_ForceWorker.Set();  // a full scan races the next start
    }
    ASSERT_EQ(0u, live.Stop());
    ASSERT_EQ(0, live.api->m_WorkerThread->Wait(0)) << "stop " << i;
  }
  testing::internal::GetCapturedStdout();
  TLX::Misc::CTlxApplication::SetProcessPathOverride("");
  // A leak over a thousand cycles shows as growth; a sanitizer's runtime may
  // hold one descriptor less than at the baseline.
  EXPECT_LE(Threads(), threads);
  EXPECT_LE(OpenDescriptors(), descriptors);
  EXPECT_TRUE(WaitFor([&] { return Children() <= children; }, seconds(5)));
}

}  // namespace
