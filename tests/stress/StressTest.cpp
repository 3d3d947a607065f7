// The plug-in under load for NIMBRA_STRESS_SECONDS (default 15): its worker
// at the shortest poll interval, eight host threads sending random commands
// 4 to 10, and a thread editing the simulated fleet. Checks: no call longer
// than kRequestLimitS (a watchdog), no event fetched twice, change counters
// that only grow, a final tree equal to a fresh plug-in's, descriptors,
// children and memory back to their baselines. NIMBRA_STRESS_SEED replays it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include "JsonView.h"
#include "LivePlugin.h"
#include "PI/Status.h"
#include "TLXX/System.h"

namespace {

using namespace NAMESPACE_Nimbra;
using Clock = std::chrono::steady_clock;
using Json = nimbra_host::Json;
using nimbra_test::LivePlugin;

constexpr int kThreads = 8, kMaxDrives = 6;
// A host call never waits for a tool run (its limit is 5 s here).
constexpr double kRequestLimitS = 2.0;
constexpr auto kCycleLimit = std::chrono::seconds(60);
// RSS may end max(8 MiB, 10 %) above its value after the first loaded cycle:
// room for allocator caches, not for a leak per call.
constexpr long kRssMarginKiB = 8 * 1024;

long RssKiB() {
  long pages = 0, resident = -1;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Edits the fleet every 150-600 ms until `stop`: readings, warning bits,
// drives added, removed, pulled and put back, faults for a few steps (rare
// one-step hangs; conversion faults are the fault matrix's). It ends with no
// fault and a reading of its own per drive, so misplaced values stand out.
void Churn(LivePlugin& live, const std::atomic<bool>& stop, uint64_t seed) {
  std::mt19937_64 random(seed);
  auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  const char* const kinds[] = {"garbage",       "empty",       "exit-nonzero",
                               "invalid-index", "stderr-only", "no-results"};
  const char* const commands[] = {"log2", "log197", "log202", "show"};
  const char* const models[] = {"INTEL SSDPEDMD400G4", "INTEL SSDPE2MD800G4"};
  std::string fleet;
  nimbra_test::RunShell("'" + nimbra_test::BuildDir() + "/bin/isdct' sim-fleet", &fleet);
  std::map<std::string, bool> drives;  // serial -> present
  const Json parsed = Json::parse(fleet);
  for (const auto& d : parsed["drives"]) drives[d["serial"]] = true;
  std::map<std::pair<std::string, std::string>, int> faults;  // (target, command) -> last step
  for (int step = 0, added = 0; !stop; ++step) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150 + pick(450)));
    for (auto f = faults.begin(); f != faults.end();) {
      if (f->second > step) {
        ++f;
        continue;
      }
      live.Sim("sim-set " + f->first.first + " faults." + f->first.second + "=none");
      f = faults.erase(f);
    }
    std::vector<std::string> present, absent;
    for (const auto& [serial, in] : drives) (in ? present : absent).push_back(serial);
    const std::string any = present[pick(present.size())];
    const size_t what = pick(20);
    if (what < 6) {
      live.Sim("sim-set " + any + " temperature=" + std::to_string(30 + pick(61)));
    } else if (what < 10) {
      live.Sim("sim-set " + any +
               " criticalWarnings=" + std::to_string(pick(2) ? 0 : 1 << pick(5)));
    } else if (what < 12 && present.size() < kMaxDrives) {
      const std::string serial = "PHST52" + std::to_string(10000000 + added++) + "BGN";
      live.Sim("sim-add serial=" + serial + " 'model=" + models[pick(2)] + "'");
      drives[serial] = true;
    } else if (what < 13 && present.size() > 1) {
      live.Sim("sim-remove " + any);
      drives.erase(any);
      // Its faults went with it: clearing them later would find no drive.
      for (auto f = faults.begin(); f != faults.end();) {
        f = f->first.first == any ? faults.erase(f) : std::next(f);
      }
    } else if (what < 15) {
      const bool back = !absent.empty() && (present.size() >= kMaxDrives || pick(2));
      const std::string serial = back ? absent[pick(absent.size())] : any;
      if (!back && present.size() <= 1) continue;
      live.Sim("sim-set " + serial + " present=" + (back ? "true" : "false"));
      drives[serial] = back;
    } else {
      const bool fleet = what >= 18;
      const std::string target = fleet ? "--fleet" : any;
      const bool hang = pick(30) == 0;
      const std::string command =
          hang ? (fleet ? "show" : "log202") : commands[pick(fleet ? 4 : 3)];
      if (faults.count({target, command})) continue;
      live.Sim("sim-set " + target + " faults." + command + "=" + (hang ? "hang" : kinds[pick(6)]));
      faults[{target, command}] = hang ? step + 1 : step + 1 + static_cast<int>(pick(6));
      continue;
    }
    if (what >= 10) live.Sim("sim-sysfs '" + (live.dir / "sys") + "'");
  }
  for (const auto& f : faults)
    live.Sim("sim-set " + f.first.first + " faults." + f.first.second + "=none");
  int reading = 40;
  for (const auto& d : drives) {
    live.Sim("sim-set " + d.first + " criticalWarnings=0 temperature=" + std::to_string(reading++));
  }
  live.Sim("sim-sysfs '" + (live.dir / "sys") + "'");
}

// The tree with IDs and change counters replaced by the drives they are
// about, so that two plug-ins' trees compare.
Json Normalized(const std::vector<PI::CObject>& topology) {
  std::map<uint64_t, std::string> names = {{topology.at(0).m_ID, "plug-in"}};
  for (const PI::CObject& o : topology) {
    for (const PI::CProperty& p : o.m_Properties) {
      if (p.id != 30022) continue;
      names[o.m_ID] = "adapter " + p.text;
      for (uint64_t child : o.m_Children) names[child] = "drive " + p.text;
    }
  }
  Json out = Json::object();
  for (const PI::CObject& o : topology) {
    Json j = nimbra_host::ObjectJson(o);
    j.erase("id");
    j.erase("changeCount");
    for (const char* list : {"parents", "children"}) {
      std::set<std::string> named;
      for (uint64_t id : list[0] == 'p' ? o.m_Parents : o.m_Children) named.insert(names[id]);
      j[list] = named;
    }
    out[names[o.m_ID]] = j;
  }
  return out;
}

class Stress : public ::testing::Test {
 protected:
  void HostThread(int t);
  void CheckTopology(const std::vector<PI::CObject>& topology,
                     std::map<uint64_t, uint64_t>& counters);
  void Fail(const std::string& what) {
    if (m_Failures++ < 20) ADD_FAILURE() << what;
  }

  uint64_t m_Seed = 0;
  LivePlugin m_Live{R"({"drives": [{},{},{},{}]})"};
  uint64_t m_PluginId = 0;
  std::atomic<bool> m_Stop{false};
  std::atomic<int> m_Failures{0};
  std::atomic<uint64_t> m_Calls{0};
  std::atomic<int64_t> m_MaxLatencyNs{0};
  std::atomic<int64_t> m_StartNs[kThreads] = {};  // 0: not in a call; for the watchdog
};

void Stress::CheckTopology(const std::vector<PI::CObject>& topology,
                           std::map<uint64_t, uint64_t>& counters) {
  if (topology.empty() || topology[0].m_ID != m_PluginId) return Fail("no plug-in object first");
  for (const PI::CObject& o : topology) {
    uint64_t& last = counters[o.m_ID];
    if (o.m_ChangeCount < last) Fail("the change counter of " + std::to_string(o.m_ID) + " fell");
    last = o.m_ChangeCount;
  }
}

// Random commands 4 to 10 on objects of the last topology and on an ID the
// plug-in never gave out (whose failures must leave the vectors empty).
void Stress::HostThread(int t) {
  std::mt19937_64 random(m_Seed + t);
  auto pick = [&](int n) { return static_cast<int>(random() % n); };
  std::vector<std::pair<uint64_t, uint32_t>> objects = {{m_PluginId, OBJECT_KIND_PLUGIN}};
  std::map<uint64_t, uint64_t> counters;
  while (!m_Stop) {
    const int command = 4 + pick(7);
    const bool invalid = pick(5) == 0;
    const auto [id, kind] =
        invalid ? std::make_pair(~uint64_t{0}, 0u) : objects[pick(objects.size())];
    std::vector<PI::CObject> topology;
    std::vector<PI::CProperty> properties;
    std::vector<PI::COperation> operations;
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(pick(2) ? 30005 : 30007), false);
    property.SetValue("2");  // refused by every writable property
    PI::COperation operation;
    operation.id = kind == OBJECT_KIND_PHYSICAL_DRIVE ? OP_DRIVE_ACTION
                   : pick(4)                          ? OP_GET_EVENTS
                                                      : 12345;
    void* const params[] = {&topology,   &properties, &property, &property,
                            &operations, &operation,  &operation};
    const auto start = Clock::now();
    m_StartNs[t] = start.time_since_epoch().count();
    const uint32_t rc =
        m_Live.api->Execute(static_cast<PI::_COMMAND>(command), id, params[command - 4]);
    const int64_t took = (Clock::now() - start).count();
    m_StartNs[t] = 0;
    ++m_Calls;
    for (int64_t max = m_MaxLatencyNs; took > max;) {
      if (m_MaxLatencyNs.compare_exchange_weak(max, took)) break;
    }
    if (rc != 0 && !(properties.empty() && operations.empty() && topology.empty())) {
      Fail("a failed command returned a filled vector");
    }
    if (rc == 0 && command == PI::CMD_GET_TOPOLOGY) {
      CheckTopology(topology, counters);
      objects.clear();
      for (const PI::CObject& o : topology) objects.emplace_back(o.m_ID, o.m_Kind);
    }
    if (rc == 0 && command == PI::CMD_EXECUTE_OPERATION && kind == OBJECT_KIND_PLUGIN &&
        operation.id == OP_GET_EVENTS) {
      m_Live.Record(operation.GetEvents());
    }
    std::this_thread::sleep_for(std::chrono::microseconds(pick(8000)));
  }
}

TEST_F(Stress, HostThreadsAndAChurningFleet) {
  const char* seconds = std::getenv("NIMBRA_STRESS_SECONDS");
  const char* seed = std::getenv("NIMBRA_STRESS_SEED");
  m_Seed = seed != nullptr ? std::strtoull(seed, nullptr, 10) : std::random_device()();
  const auto run = std::chrono::duration<double>(seconds != nullptr ? std::atof(seconds) : 15);
  std::printf("stress: %.0f s, seed %llu (NIMBRA_STRESS_SEED replays it)\n", run.count(),
              static_cast<unsigned long long>(m_Seed));
  const int fdsBefore = nimbra_test::OpenDescriptors();
  const int childrenBefore = nimbra_test::Children();
  TLXX::CSystem::SetCommandTimeout(5000);
  ASSERT_TRUE(m_Live.Start());
  m_PluginId = m_Live.api->m_Plugin.m_ID;

  std::atomic<bool> churnStop{false};
  std::thread churn([&] { Churn(m_Live, churnStop, m_Seed + 100); });
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([this, t] { HostThread(t); });
  std::thread watchdog([&] {
    std::vector<bool> reported(kThreads);
    while (!m_Stop) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      for (int t = 0; t < kThreads; ++t) {
        const int64_t start = m_StartNs[t];  // read once: the thread clears it
        const double inCall = start ? (Clock::now().time_since_epoch().count() - start) / 1e9 : 0;
        if (inCall < kRequestLimitS) continue;
        if (!reported[t])
          Fail("thread " + std::to_string(t) + " stuck in Execute for " + std::to_string(inCall) +
               " s");
        reported[t] = true;
        if (inCall > 2 * kCycleLimit.count()) {
          std::fprintf(stderr, "stress: deadlock in thread %d\n", t);
          std::abort();  // joining would hang
        }
      }
    }
  });
  m_Live.WaitForNotification(m_Live.notifications, kCycleLimit);  // the first cycle under load
  const long rssFirst = RssKiB();
  std::this_thread::sleep_for(run);  // the load runs meanwhile
  churnStop = true;
  churn.join();
  const long rssLast = RssKiB();
  m_Stop = true;
  for (std::thread& t : threads) t.join();
  watchdog.join();

  // Two forced full scans, one after the other: the first may have begun
  // before the churn's last edit.
  std::vector<PI::CObject> scanned;
  for (int forced = 0; forced < 2; ++forced) {
    const uint64_t scans = m_Live.Topology()[0].m_ChangeCount;
    m_Live.api->m_ForceWorker.Set();
    ASSERT_TRUE(nimbra_test::WaitFor(
        [&] { return (scanned = m_Live.Topology())[0].m_ChangeCount > scans; }, kCycleLimit));
  }
  PI::COperation fetch;
  fetch.id = OP_GET_EVENTS;
  ASSERT_EQ(0u, m_Live.api->Execute(PI::CMD_EXECUTE_OPERATION, m_PluginId, &fetch));
  m_Live.Record(fetch.GetEvents());
  ASSERT_EQ(0u, m_Live.Stop());
  std::set<std::tuple<uint64_t, uint64_t, uint32_t>> seen;
  for (const PI::CEvent& e : m_Live.Events()) {
    if (!seen.emplace(e.m_Time, e.m_ObjectID, e.m_EventID).second) {
      Fail("event " + std::to_string(e.m_EventID) + " about " + std::to_string(e.m_ObjectID) +
           " fetched twice");
    }
  }
  {
    LivePlugin fresh(nimbra_test::ReadFile(m_Live.FleetFile()));
    ASSERT_EQ(0u, fresh.Initialize());
    fresh.ids = m_Live.ids;  // the same host numbers, so the same names
    ASSERT_TRUE(fresh.StartWorker());
    const Json difference = Json::diff(Normalized(fresh.Topology()), Normalized(scanned));
    EXPECT_TRUE(difference.empty())
        << "the tree differs from a fresh plug-in's: " << difference.dump();
  }
  m_Live.api.reset();
  nimbra_test::WaitFor([&] { return nimbra_test::Children() <= childrenBefore; },
                       std::chrono::seconds(5));
  EXPECT_EQ(fdsBefore, nimbra_test::OpenDescriptors()) << "descriptors leaked";
  EXPECT_EQ(childrenBefore, nimbra_test::Children()) << "child processes left";
#ifndef NIMBRA_SANITIZED
  EXPECT_LE(rssLast, rssFirst + std::max(kRssMarginKiB, rssFirst / 10)) << "memory grew";
#endif
  std::printf(
      "stress figures: %llu calls, %d notifications, %zu events, max call %.3f s, RSS %ld/%ld "
      "KiB\n",
      static_cast<unsigned long long>(m_Calls.load()), m_Live.notifications.load(), seen.size(),
      m_MaxLatencyNs / 1e9, rssFirst, rssLast);
}

}  // namespace
