// The plug-in against the SSD tool simulator, with the worker running:
// health changes, removals and additions reach the host as events through
// operation 50002; the poll interval wakes the worker; a stopped plug-in
// starts again; DeInitialize ends an idle worker at once, a refreshing one
// promptly and cancels one stuck in a hung tool. The worker's two cycles
// are also called one at a time: readings land on the right drive, and host
// requests do not wait for their tool runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "NimbraImpl.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using namespace NAMESPACE_Nimbra;
using Clock = std::chrono::steady_clock;
using nimbra_test::Children;
using nimbra_test::TempDir;
using nimbra_test::WaitFor;

const char* const kCard = "CVFT5213000A400BGN";    // built-in drive 0, add-in card
const char* const kSecond = "CVFT5213001B1P6BGN";  // built-in drive 1

// Plays the host: counts notifications and fetches the events each time.
class Host : public PI::CNotifyTarget {
 public:
  void Notified(IPLUGINAPI* api) {
    PI::COperation fetch;
    fetch.id = OP_GET_EVENTS;
    const uint32_t rc = api->Execute(PI::CMD_EXECUTE_OPERATION, pluginId, &fetch);
    std::lock_guard<std::mutex> lock(m);
    EXPECT_EQ(0u, rc);
    events.insert(events.end(), fetch.GetEvents().begin(), fetch.GetEvents().end());
    ++notifications;
  }
  std::vector<uint32_t> EventIds() {
    std::lock_guard<std::mutex> lock(m);
    std::vector<uint32_t> ids;
    for (const PI::CEvent& e : events) ids.push_back(e.m_EventID);
    return ids;
  }
  std::vector<PI::CEvent> Events() {
    std::lock_guard<std::mutex> lock(m);
    return events;
  }

  uint64_t pluginId = 0;
  std::atomic<int> notifications{0};

 private:
  std::mutex m;
  std::vector<PI::CEvent> events;
};

class Monitor : public ::testing::Test {
 protected:
  // A fleet of the first `drives` built-in drives, a matching sysfs tree,
  // and a plug-in initialized on it with a 2 s poll interval, its worker
  // through its first full scan.
  void Start(int drives) {
    std::string fleet = "{\"drives\": [";
    for (int i = 0; i < drives; ++i) fleet += i ? ",{}" : "{}";
    Initialized(fleet + "]}", drives);
    StartWorker();
  }

  // The fleet `fleet` of `drives` drives with its sysfs tree, and a plug-in
  // initialized on it, without a worker.
  void Initialized(const std::string& fleet, int drives) {
    dir.Write("fleet.json", fleet);
    setenv("ISDCT_SIM_FLEET", (dir / "fleet.json").c_str(), 1);
    Sim("sim-sysfs '" + (dir / "sys") + "'");
    TLXX::CSystem::SetSysfsRoot(dir / "sys");

    api = std::make_unique<IPLUGINAPI_IMPL>();
    api->m_PollInterval = 2;
    api->m_HostNotify.m_Object = &host;
    api->m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&Host::Notified);
    Initialize(static_cast<size_t>(drives));
  }

  // Initialize, then the host's adapter numbers 0, 1, 2... in ids.
  void Initialize(size_t drives) {
    ids.clear();
    testing::internal::CaptureStdout();
    const uint32_t rc = api->Execute(PI::CMD_INITIALIZE, 0, &ids);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(0u, rc);
    ASSERT_EQ(drives, ids.size());
    host.pluginId = api->m_Plugin.m_ID;
    for (size_t i = 0; i < ids.size(); ++i) ids[i].m_HostNumber = static_cast<uint32_t>(i);
  }

  // SetAdapterIDs, then the worker's first full scan.
  void StartWorker() {
    const int before = host.notifications;
    ASSERT_EQ(0u, api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids));
    ASSERT_TRUE(WaitFor([&] { return host.notifications > before; }, std::chrono::seconds(10)))
        << "the first full scan notifies the host";
  }

  // One cycle of the worker, called as the worker calls it.
  bool Refresh() {
    EXPECT_TRUE(api->WorkerTakesData());
    return api->RefreshHealth();
  }
  bool Scan() {
    EXPECT_TRUE(api->WorkerTakesData());
    return api->FullScan();
  }

  void TearDown() override {
    if (api) {
      api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr);
      api.reset();
    }
    unsetenv("ISDCT_SIM_FLEET");
    TLXX::CSystem::SetSysfsRoot("/sys");
    TLXX::CSystem::SetCommandTimeout(120000);
  }

  void Sim(const std::string& args) {
    std::string out;
    ASSERT_EQ(0, nimbra_test::RunShell(
                     "'" + nimbra_test::BuildDir() + "/bin/isdct' " + args + " 2>&1", &out))
        << args << ": " << out;
  }

  uint64_t AdapterId(const std::string& serial) {
    TLX::Threading::Native_OS::CSyncGuard sg;
    api->m_DataLock.Wait(&sg, TLX::Threading::kInfinite);
    for (const auto& a : api->m_Adapters) {
      if (a.m_SerialNumber == serial) return a.m_ID;
    }
    return 0;
  }

  // The adapter and drive with `serial`, as the tree holds them now.
  std::pair<CIntelSSDAdapter, CIntelSSDPhysicalDrive> Pair(const std::string& serial) {
    TLX::Threading::Native_OS::CSyncGuard sg;
    api->m_DataLock.Wait(&sg, TLX::Threading::kInfinite);
    const CIntelSSDAdapter* a = FindBySerial(api->m_Adapters, serial);
    const CIntelSSDPhysicalDrive* d = FindBySerial(api->m_PhysicalDrives, serial);
    EXPECT_TRUE(a != nullptr && d != nullptr) << serial;
    return {a ? *a : CIntelSSDAdapter(), d ? *d : CIntelSSDPhysicalDrive()};
  }

  TempDir dir;
  Host host;
  std::unique_ptr<IPLUGINAPI_IMPL> api;
  std::vector<PI::CAdapterID> ids;
};

TEST_F(Monitor, HeatingADriveRaisesTemperatureEventsWithinACycle) {
  Start(1);
  const uint64_t id = AdapterId(kCard);
  Sim(std::string("sim-set ") + kCard + " temperature=80");  // 85 with the add-in margin
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 2; }, std::chrono::seconds(15)));
  EXPECT_EQ((std::vector<uint32_t>{EVT_TEMP_84_UP, EVT_TEMP_80_UP}), host.EventIds());
  for (const PI::CEvent& e : host.Events()) {
    EXPECT_EQ(id, e.m_ObjectID);
    EXPECT_EQ("Torvik P3700 (0)", e.m_ObjectName);
  }

  Sim(std::string("sim-set ") + kCard + " temperature=30 criticalWarnings=0x01");
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 3; }, std::chrono::seconds(15)));
  EXPECT_EQ(EVT_SPARE_BELOW_THRESHOLD, host.EventIds()[2]);
  Sim(std::string("sim-set ") + kCard + " criticalWarnings=0");
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 4; }, std::chrono::seconds(15)));
  EXPECT_EQ(EVT_WARNINGS_CLEARED, host.EventIds()[3]);
}

TEST_F(Monitor, RemovalAndAdditionAreSeenByTheNextFullScan) {
  Start(2);
  const uint64_t removed = AdapterId(kSecond);
  uint64_t removedDrive = 0;
  {
    TLX::Threading::Native_OS::CSyncGuard sg;
    api->m_DataLock.Wait(&sg, TLX::Threading::kInfinite);
    removedDrive = api->m_PhysicalDrives[1].m_ID;
  }
  Sim(std::string("sim-remove ") + kSecond);
  api->m_ForceWorker.Set();  // a host-side trigger: no plug-in operation sets it
  ASSERT_TRUE(WaitFor([&] { return !host.EventIds().empty(); }, std::chrono::seconds(10)));
  EXPECT_EQ(std::vector<uint32_t>{EVT_ADAPTER_REMOVED}, host.EventIds());
  EXPECT_EQ(removed, host.Events()[0].m_ObjectID);
  std::vector<PI::CProperty> properties;
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND, api->Execute(PI::CMD_GET_PROPERTIES, removed, &properties));
  EXPECT_EQ(PI::ERR_OBJECT_NOT_FOUND,
            api->Execute(PI::CMD_GET_PROPERTIES, removedDrive, &properties));

  Sim("sim-add");
  api->m_ForceWorker.Set();
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 2; }, std::chrono::seconds(10)));
  EXPECT_EQ((std::vector<uint32_t>{EVT_ADAPTER_REMOVED, EVT_ADAPTER_ADDED}), host.EventIds());
  std::vector<PI::CObject> topology;
  ASSERT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
  EXPECT_EQ(5u, topology.size());
  EXPECT_EQ(2u, topology[0].m_Children.size());
}

TEST_F(Monitor, ANewPollIntervalWakesTheWorker) {
  Start(1);
  api->m_PollInterval = 200;  // the next cycle would be far away
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  const int before = host.notifications;
  PI::CProperty interval;
  interval.id = 30005;
  ASSERT_EQ(0u, api->Execute(PI::CMD_GET_PROPERTY, host.pluginId, &interval));
  interval.intValue = 3;
  PI::CConfigFile::SetConfigDirectory(dir.path());
  EXPECT_EQ(0u, api->Execute(PI::CMD_SET_PROPERTY, host.pluginId, &interval));
  PI::CConfigFile::SetConfigDirectory(".");
  EXPECT_TRUE(WaitFor([&] { return host.notifications > before; }, std::chrono::seconds(2)));
  EXPECT_EQ(3u, api->m_PollInterval.load());
}

TEST_F(Monitor, HostThreadsWorkWhileTheWorkerRescans) {
  Start(1);
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      int n = 0;
      while (!stop) {
        std::vector<PI::CObject> topology;
        EXPECT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
        for (const PI::CObject& o : topology) {
          std::vector<PI::CProperty> properties;
          api->Execute(PI::CMD_GET_PROPERTIES, o.m_ID, &properties);
          PI::CProperty one;
          one.id = 30007;
          api->Execute(PI::CMD_GET_PROPERTY, o.m_ID, &one);
          std::vector<PI::COperation> operations;
          api->Execute(PI::CMD_GET_OPERATIONS, o.m_ID, &operations);
          PI::COperation op;
          op.id = (n++ + t) % 2 ? OP_GET_EVENTS : OP_DRIVE_ACTION;
          api->Execute(PI::CMD_CHECK_OPERATION, o.m_ID, &op);
          api->Execute(PI::CMD_EXECUTE_OPERATION, o.m_ID, &op);
        }
      }
    });
  }
  for (int i = 0; i < 3; ++i) {
    Sim(std::string("sim-set ") + kCard + " criticalWarnings=" + (i % 2 ? "0" : "0x04"));
    api->m_ForceWorker.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
  }
  stop = true;
  for (auto& t : threads) t.join();
  EXPECT_GE(host.notifications.load(), 2);
}

TEST_F(Monitor, AnInventoryWithoutDrivesEmptiesTheTreeWithOneEventPerAdapter) {
  Start(2);
  Sim("sim-set --fleet faults.show=no-results");
  api->m_ForceWorker.Set();
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 2; }, std::chrono::seconds(10)));
  EXPECT_EQ((std::vector<uint32_t>{EVT_ADAPTER_REMOVED, EVT_ADAPTER_REMOVED}), host.EventIds());
  std::vector<PI::CObject> topology;
  ASSERT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
  EXPECT_EQ(1u, topology.size()) << "only the plug-in object is left";
}

// A tool run that prints nothing says nothing about the drives: the scan
// changes nothing and the next cycle scans again, without being asked.
TEST_F(Monitor, AnInventoryThatPrintsNothingChangesNothingAndIsTriedAgain) {
  Start(2);
  Sim("sim-set --fleet faults.show=empty");
  api->m_ForceWorker.Set();
  EXPECT_FALSE(WaitFor([&] { return !host.EventIds().empty(); }, std::chrono::milliseconds(1500)))
      << "no adapter is taken for removed";
  std::vector<PI::CObject> topology;
  ASSERT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
  EXPECT_EQ(5u, topology.size());

  const uint64_t second = AdapterId(kSecond);
  Sim("sim-set --fleet faults.show=none");
  Sim(std::string("sim-remove ") + kSecond);
  ASSERT_TRUE(WaitFor([&] { return !host.EventIds().empty(); }, std::chrono::seconds(8)))
      << "the next poll scans fully";
  EXPECT_EQ(std::vector<uint32_t>{EVT_ADAPTER_REMOVED}, host.EventIds());
  EXPECT_EQ(second, host.Events()[0].m_ObjectID);
}

// Records and tree in different orders (a drive that left and came back is
// appended to the tree) and tool indices that are not positions: a refresh
// patches the adapter and drive with the record's serial number.
TEST_F(Monitor, HealthReadingsLandOnTheDriveWithTheirSerialNumber) {
  struct Case {
    const char* name;
    const char* fleet;
    std::vector<std::string> serials;
    int margin;
  };
  const Case cases[] = {
      {"left and came back", R"({"drives": [{}, {}]})", {kCard, kSecond}, 5},
      {"tool indices 7 and 3",
       R"({"drives": [{"index": 7, "serial": "PHFT0007", "model": "INTEL SSDPE2MD800G4"},
                      {"index": 3, "serial": "PHFT0003", "model": "INTEL SSDPE2MD800G4"}]})",
       {"PHFT0007", "PHFT0003"},
       14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Initialized(c.fleet, 2);
    api->m_HealthReadPauseMs = 0;
    api->m_AdapterIDs = ids;
    ASSERT_TRUE(Scan());
    if (c.margin == 5) {
      Sim("sim-set " + c.serials[0] + " present=false");
      ASSERT_TRUE(Scan());
      Sim("sim-set " + c.serials[0] + " present=true");
      ASSERT_TRUE(Scan());
      ASSERT_EQ(c.serials[0], api->m_Adapters.back().m_SerialNumber) << "appended to the tree";
    }
    Sim("sim-set " + c.serials[0] + " temperature=40");
    Sim("sim-set " + c.serials[1] + " temperature=50");
    EXPECT_FALSE(Refresh()) << "no warning word changed";
    for (size_t i = 0; i < 2; ++i) {
      const auto pair = Pair(c.serials[i]);
      const float expected = static_cast<float>((i == 0 ? 40 : 50) + c.margin);
      EXPECT_EQ(expected, pair.first.m_Temperature) << c.serials[i];
      EXPECT_EQ(expected, pair.second.m_Temperature) << c.serials[i];
    }
    api.reset();
  }
}

// Tool runs of either cycle happen without the data lock: a request made
// while one hangs is answered at once.
TEST_F(Monitor, HostRequestsDoNotWaitForAHungToolRun) {
  for (const bool fullScan : {false, true}) {
    SCOPED_TRACE(fullScan ? "full scan" : "refresh");
    Initialized(R"({"drives": [{}]})", 1);
    api->m_HealthReadPauseMs = 0;
    TLXX::CSystem::SetCommandTimeout(3000);
    const int children = Children();
    Sim(std::string("sim-set ") + kCard + " faults.log2=hang");
    const auto cycleStart = Clock::now();
    std::thread cycle([&] { fullScan ? Scan() : Refresh(); });
    ASSERT_TRUE(WaitFor([&] { return Children() > children; }, std::chrono::seconds(5)));
    const auto start = Clock::now();
    std::vector<PI::CObject> topology;
    EXPECT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
    std::vector<PI::CProperty> properties;
    EXPECT_EQ(0u, api->Execute(PI::CMD_GET_PROPERTIES, AdapterId(kCard), &properties));
    const auto answered = Clock::now() - start;
    cycle.join();
    EXPECT_LT(answered, std::chrono::milliseconds(500));
    EXPECT_GT(Clock::now() - cycleStart, std::chrono::milliseconds(2500)) << "the tool did hang";
    Sim(std::string("sim-set ") + kCard + " faults.log2=none");
    api.reset();
  }
}

TEST_F(Monitor, APluginStoppedAndStartedAgainMonitorsAgain) {
  Start(1);
  auto* first = api->m_WorkerThread.get();
  ASSERT_EQ(0u, api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids));
  EXPECT_EQ(first, api->m_WorkerThread.get()) << "a running worker is kept";
  ASSERT_EQ(0u, api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  Initialize(1);
  StartWorker();
  Sim(std::string("sim-set ") + kCard + " temperature=80");
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 2; }, std::chrono::seconds(15)));
  EXPECT_EQ((std::vector<uint32_t>{EVT_TEMP_84_UP, EVT_TEMP_80_UP}), host.EventIds());
}

TEST_F(Monitor, ADriveThatComesBackGetsNewIds) {
  Start(1);
  const uint64_t before = AdapterId(kCard);
  Sim(std::string("sim-set ") + kCard + " present=false");
  api->m_ForceWorker.Set();
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 1; }, std::chrono::seconds(10)));
  Sim(std::string("sim-set ") + kCard + " present=true");
  api->m_ForceWorker.Set();
  ASSERT_TRUE(WaitFor([&] { return host.EventIds().size() >= 2; }, std::chrono::seconds(10)));
  EXPECT_EQ((std::vector<uint32_t>{EVT_ADAPTER_REMOVED, EVT_ADAPTER_ADDED}), host.EventIds());
  const uint64_t after = AdapterId(kCard);
  EXPECT_NE(0u, after);
  EXPECT_GT(after, before);
}

TEST_F(Monitor, AConversionErrorEndsTheWorkerAndTheHostGoesOn) {
  Start(1);
  Sim(std::string("sim-set ") + kCard + " faults.log2=out-of-range");
  api->m_ForceWorker.Set();
  EXPECT_TRUE(WaitFor([&] { return api->m_WorkerThread->Wait(0) == 0; }, std::chrono::seconds(10)))
      << "the exception leaves the worker routine";
  std::vector<PI::CObject> topology;
  EXPECT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology)) << "no lock is left held";
  EXPECT_EQ(3u, topology.size());
  const auto start = Clock::now();
  EXPECT_EQ(0u, api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST_F(Monitor, DeInitializeEndsAnIdleWorkerPromptly) {
  Start(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto start = Clock::now();
  EXPECT_EQ(0u, api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(0, api->m_WorkerThread->Wait(0));
}

// The pauses of a refresh end at a stop request, and the refresh stops at
// the next record.
TEST_F(Monitor, DeInitializeInTheMiddleOfALongRefreshIsPrompt) {
  Start(12);  // a refresh of 12 drives pauses 12 s
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  const auto start = Clock::now();
  EXPECT_EQ(0u, api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(0, api->m_WorkerThread->Wait(0));
}

TEST_F(Monitor, AWorkerStuckInAHungToolIsCancelledAfterItsGrace) {
  Start(1);
  const int children = Children();
  Sim(std::string("sim-set ") + kCard + " faults.log2=hang");
  // The next refresh (2 s) runs page 2 and hangs.
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  const auto start = Clock::now();
  EXPECT_EQ(0u, api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  const auto waited = Clock::now() - start;
  EXPECT_GT(waited, std::chrono::seconds(24));
  EXPECT_LT(waited, std::chrono::seconds(32));
  EXPECT_TRUE(WaitFor([&] { return api->m_WorkerThread->Wait(0) == 0; }, std::chrono::seconds(5)));
  EXPECT_TRUE(WaitFor([&] { return Children() <= children; }, std::chrono::seconds(5)))
      << "the hung tool's process group is killed and reaped";
  std::vector<PI::CObject> topology;
  EXPECT_EQ(0u, api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology)) << "the data lock is free";
}

// Started and stopped a thousand times, every tenth start repeated while
// the worker runs: no thread, descriptor or child is left. A script replays
// the tool's inventory, so that a cycle costs two short tool runs.
TEST(Lifecycle, AThousandStartsAndStopsLeaveNothingBehind) {
  TempDir dir;
  const std::string sim = "ISDCT_SIM_FLEET='" + dir.Write("fleet.json", R"({"drives": [{}]})") +
                          "' '" + nimbra_test::BuildDir() + "/bin/isdct' ";
  std::string inventory;
  ASSERT_EQ(0, nimbra_test::RunShell(sim + "sim-sysfs '" + (dir / "sys") + "'"));
  ASSERT_EQ(0, nimbra_test::RunShell(sim + "show -all -intelssd", &inventory));
  const std::string tool =
      dir.Write("host/bin/isdct", "#!/bin/sh\ncase \"$1\" in show) cat '" +
                                      dir.Write("inventory.txt", inventory) +
                                      "';; version) echo 'Version: 3.0.2';; esac\n");
  ASSERT_EQ(0, chmod(tool.c_str(), 0755));
  TLXX::CSystem::SetSysfsRoot(dir / "sys");
  TLX::Misc::CTlxApplication::SetProcessPathOverride(dir / "host/nimbra-host");

  IPLUGINAPI_IMPL api;
  api.m_PollInterval = 2;
  api.m_StopSettleMs = 0;
  api.m_StopPollMs = 1;
  testing::internal::CaptureStdout();  // Initialize's console line, each time
  int threads = 0, descriptors = 0, children = 0;
  // The baselines are taken after the first cycle, once the runtime's own
  // threads (a sanitizer's, say) have started.
  for (int i = 0; i <= 1000; ++i) {
    if (i == 1) {
      threads = nimbra_test::Threads();
      descriptors = nimbra_test::OpenDescriptors();
      children = Children();
    }
    for (int start = 0; start < (i % 10 == 0 ? 2 : 1); ++start) {
      std::vector<PI::CAdapterID> ids;
      ASSERT_EQ(0u, api.Execute(PI::CMD_INITIALIZE, 0, &ids)) << "start " << i;
      ASSERT_EQ(1u, ids.size());
      ids[0].m_HostNumber = 0;
      ASSERT_EQ(0u, api.Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids));
      api.m_ForceWorker.Set();  // a full scan races the next start
    }
    ASSERT_EQ(0u, api.Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
    ASSERT_EQ(0, api.m_WorkerThread->Wait(0)) << "stop " << i;
  }
  testing::internal::GetCapturedStdout();
  TLX::Misc::CTlxApplication::SetProcessPathOverride("");
  TLXX::CSystem::SetSysfsRoot("/sys");
  // A leak over a thousand cycles shows as growth; a sanitizer's runtime may
  // hold one descriptor less than at the baseline.
  EXPECT_LE(nimbra_test::Threads(), threads);
  EXPECT_LE(nimbra_test::OpenDescriptors(), descriptors);
  EXPECT_TRUE(WaitFor([&] { return Children() <= children; }, std::chrono::seconds(5)));
}

}  // namespace
