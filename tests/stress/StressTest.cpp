// The plug-in under load for a bounded time (NIMBRA_STRESS_SECONDS, default
// 45): its worker at the shortest poll interval, eight host threads sending
// random commands 4 to 10, and a second process churning the simulated fleet
// (Churn.h). Checks: no crash, no call longer than kRequestLimitS (requests
// never wait for a tool run), every event fetched once and explained by the churn
// log, change counters that only grow, a final tree equal to a fresh
// plug-in's, descriptors, children and memory back to their baselines.
//
// NIMBRA_STRESS_SEED replays a run's random choices (the seed is printed).
// The program started as `stress_test --churn ...` is the churn process.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include "Churn.h"
#include "ChurnHistory.h"
#include "JsonView.h"
#include "NimbraImpl.h"
#include "PI/Status.h"
#include "TLXX/System.h"
#include "TestSupport.h"

extern char** environ;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define NIMBRA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define NIMBRA_SANITIZED 1
#endif
#endif

namespace {

using namespace NAMESPACE_Nimbra;
using Clock = std::chrono::steady_clock;
using Json = nimbra_host::Json;
using nimbra_test::TempDir;

constexpr int kThreads = 8;
constexpr unsigned kPollSeconds = 2;  // the shortest the plug-in allows
constexpr unsigned kToolLimitMs = 5000;
// A host call waits for the data lock at most while the worker applies what
// it read or another call runs: far below one tool run's time limit.
constexpr double kRequestLimitS = 2.0;
// Outside sanitizers RSS may end at most max(8 MiB, 10 %) above its value
// after the first loaded worker cycle: room for allocator caches and the
// tree of a fleet of up to six drives, while a leak of a few hundred bytes
// per call (about 10^5 calls a minute) exceeds it within a default run.
constexpr long kRssMarginKiB = 8 * 1024;
constexpr uint64_t kInvalidIds[] = {0, 0x0135000000ffffffULL, ~0ULL, 0x0136000000000001ULL};

uint64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

long RssKiB() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1;
  if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  std::fclose(f);
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Waits up to `seconds` for `done`.
template <class Predicate>
bool WaitFor(Predicate done, double seconds) {
  return nimbra_test::WaitFor(done, std::chrono::duration<double>(seconds));
}

// Plays the host's notification slot: counts calls and, since a full scan
// has just ended on this thread, learns which drive each new object is about.
class Host : public PI::CNotifyTarget {
 public:
  void Notified(IPLUGINAPI* api) {
    ++notifications;
    if (onNotify) onNotify(api);
  }
  std::atomic<int> notifications{0};
  std::function<void(IPLUGINAPI*)> onNotify;
};

// What one host thread is doing, for the watchdog.
struct Slot {
  std::atomic<int64_t> startNs{0};  // 0: not in a call
  std::atomic<int> command{0};
  std::atomic<uint64_t> object{0};
  bool reported = false;  // watchdog only
};

class Stress : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* seconds = std::getenv("NIMBRA_STRESS_SECONDS");
    m_Seconds = seconds != nullptr ? std::atof(seconds) : 45;
    const char* seed = std::getenv("NIMBRA_STRESS_SEED");
    m_Seed = seed != nullptr ? std::strtoull(seed, nullptr, 10) : std::random_device()();
    std::printf(
        "stress: %.0f s, seed %llu (NIMBRA_STRESS_SEED replays it: thread t uses seed+t, "
        "the churn seed+100)\n",
        m_Seconds, static_cast<unsigned long long>(m_Seed));
    m_Dir.Write("fleet.json", "{\"drives\": [{},{},{},{}]}");
    m_Dir.Write("config/Nimbra.ini", "PollInterval=" + std::to_string(kPollSeconds) + "\n");
    m_Dir.Write("log/.keep", "");
    setenv("ISDCT_SIM_FLEET", (m_Dir / "fleet.json").c_str(), 1);
    ASSERT_EQ(0, nimbra_test::RunShell(Isdct() + " sim-sysfs '" + (m_Dir / "sys") + "'"));
    TLXX::CSystem::SetSysfsRoot(m_Dir / "sys");
    TLXX::CSystem::SetCommandTimeout(kToolLimitMs);
    PI::CConfigFile::SetConfigDirectory(m_Dir / "config");
    double runS = 0;
    for (int i = 0; i < 3; ++i) {
      const auto start = Clock::now();
      nimbra_test::RunShell(Isdct() + " dump -intelssd 0 DataType=nvmelog LogID=2");
      runS = std::max(runS, std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double run = std::max(0.5, 4 * runS);
    m_CycleS = kPollSeconds + nimbra_test::kMaxDrives * (1 + 3 * run) +
               (1 + 3 * nimbra_test::kMaxDrives) * run;
    m_CallLimitS = m_CycleS + kToolLimitMs / 1000.0;
  }

  void TearDown() override {
    if (m_Api) m_Api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr);
    unsetenv("ISDCT_SIM_FLEET");
    TLXX::CSystem::SetSysfsRoot("/sys");
    TLXX::CSystem::SetCommandTimeout(120000);
    PI::CConfigFile::SetConfigDirectory(".");
  }

  static std::string Isdct() { return "'" + nimbra_test::BuildDir() + "/bin/isdct'"; }

  // A plug-in initialized on the fleet, its worker started, through its
  // first full scan.
  std::unique_ptr<IPLUGINAPI_IMPL> Start(Host& host, std::vector<PI::CAdapterID>& ids) {
    auto api = std::make_unique<IPLUGINAPI_IMPL>();
    api->m_HostNotify.m_Object = &host;
    api->m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&Host::Notified);
    std::vector<PI::CAdapterID> found;
    testing::internal::CaptureStdout();
    const uint32_t rc = api->Execute(PI::CMD_INITIALIZE, 0, &found);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(0u, rc);
    if (ids.empty()) {
      ids = found;
      for (size_t i = 0; i < ids.size(); ++i) ids[i].m_HostNumber = static_cast<uint32_t>(i);
    }
    EXPECT_EQ(0u, api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids));
    EXPECT_TRUE(WaitFor([&] { return host.notifications > 0; }, 30)) << "no first full scan";
    return api;
  }

  pid_t SpawnChurn() {
    std::vector<std::string> args = {"/proc/self/exe", "--churn"};
    for (const std::string& a :
         nimbra_test::ChurnArguments(nimbra_test::BuildDir() + "/bin/isdct", m_Dir / "fleet.json",
                                     m_Dir / "sys", m_Dir / "log", m_Seconds, m_Seed + 100)) {
      args.push_back(a);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(0, posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ));
    return pid;
  }

  // Object IDs to the serial number of their drive, learnt from topologies.
  void Learn(const std::vector<PI::CObject>& topology) {
    std::lock_guard<std::mutex> lock(m_Lock);
    for (const PI::CObject& o : topology) {
      if (o.m_Kind != OBJECT_KIND_ADAPTER) continue;
      for (const PI::CProperty& p : o.m_Properties) {
        if (p.id != 30022) continue;
        m_Serials[o.m_ID] = {p.text, true};
        for (uint64_t child : o.m_Children) m_Serials[child] = {p.text, false};
      }
    }
  }

  void Fail(const std::string& what) {
    if (m_Failures++ < 20) ADD_FAILURE() << what;
  }

  void HostThread(int t);
  void CheckTopology(int t, const std::vector<PI::CObject>& topology,
                     std::map<uint64_t, uint64_t>& counters);
  void Watchdog();
  void JudgeEvents(bool final);
  Json Normalized(const std::vector<PI::CObject>& topology);

  double m_Seconds = 45;
  // A worker cycle at its longest: the poll wait, a health refresh of the
  // largest fleet (three tool runs and a 1 s pause per drive), then the full
  // scan it may turn into (one inventory and three runs per drive). A tool
  // run is budgeted at four times a run measured at the start (at least
  // 0.5 s), for a loaded machine. A call may wait for that and for one tool
  // run at its time limit.
  double m_CycleS = 0;
  double m_CallLimitS = 0;
  uint64_t m_Seed = 0;
  TempDir m_Dir;
  Host m_Host;
  std::unique_ptr<IPLUGINAPI_IMPL> m_Api;
  uint64_t m_PluginId = 0;
  std::atomic<bool> m_Stop{false};
  std::atomic<int> m_Failures{0};
  std::atomic<uint64_t> m_Calls{0}, m_EventsFetched{0};
  std::atomic<int64_t> m_MaxLatencyNs{0}, m_LastPollWriteNs{0};
  Slot m_Slots[kThreads];

  std::mutex m_Lock;                                           // guards the members below
  std::map<uint64_t, std::pair<std::string, bool>> m_Serials;  // id -> serial, is adapter
  std::vector<std::pair<PI::CEvent, uint64_t>> m_Pending;      // event, time fetched
  nimbra_test::ChurnHistory m_History{m_Dir / "log"};
  std::set<std::tuple<uint64_t, uint64_t, uint32_t>> m_Seen;  // time, object, event
};

void Stress::CheckTopology(int t, const std::vector<PI::CObject>& topology,
                           std::map<uint64_t, uint64_t>& counters) {
  const std::string who = "thread " + std::to_string(t) + ": ";
  if (topology.empty() || topology[0].m_ID != m_PluginId) return Fail(who + "no plug-in first");
  std::set<uint64_t> adapters;
  for (const PI::CObject& o : topology) {
    uint64_t& last = counters[o.m_ID];
    if (o.m_ChangeCount < last) {
      Fail(who + "change counter of " + std::to_string(o.m_ID) + " fell from " +
           std::to_string(last) + " to " + std::to_string(o.m_ChangeCount));
    }
    last = o.m_ChangeCount;
    if (o.m_Kind == OBJECT_KIND_ADAPTER) {
      adapters.insert(o.m_ID);
      if (o.m_Parents != std::vector<uint64_t>{m_PluginId}) Fail(who + "adapter without plug-in");
    } else if (o.m_Kind == OBJECT_KIND_PHYSICAL_DRIVE) {
      if (o.m_Parents.size() != 1 || adapters.count(o.m_Parents[0]) == 0) {
        Fail(who + "drive " + std::to_string(o.m_ID) + " without its adapter");
      }
    }
  }
  if (std::set<uint64_t>(topology[0].m_Children.begin(), topology[0].m_Children.end()) !=
      adapters) {
    Fail(who + "the plug-in's children are not its adapters");
  }
  Learn(topology);
}

void Stress::HostThread(int t) {
  std::mt19937_64 random(m_Seed + t);
  auto pick = [&](int n) { return static_cast<int>(random() % n); };
  std::vector<std::pair<uint64_t, uint32_t>> objects = {{m_PluginId, OBJECT_KIND_PLUGIN}};
  std::map<uint64_t, uint64_t> counters;
  Slot& slot = m_Slots[t];
  while (!m_Stop) {
    const int command = 4 + pick(7);
    uint64_t id = 0;
    uint32_t kind = 0;  // 0: an ID the plug-in never gave out
    if (pick(5) == 0) {
      id = kInvalidIds[pick(4)];
    } else {
      std::tie(id, kind) = objects[pick(objects.size())];
    }
    std::vector<PI::CObject> topology;
    std::vector<PI::CProperty> properties;
    std::vector<PI::COperation> operations;
    PI::CProperty property(static_cast<PI::_PROPERTY_ID>(pick(2) ? 30005 : 30007), false);
    PI::COperation operation;
    operation.id = kind == OBJECT_KIND_PHYSICAL_DRIVE ? OP_DRIVE_ACTION
                   : pick(4) == 0                     ? 12345
                                                      : OP_GET_EVENTS;
    void* param = &operation;
    std::set<uint32_t> allowed;  // besides object-not-found for a stale or invalid ID
    switch (command) {
      case PI::CMD_GET_TOPOLOGY:
        param = &topology;
        allowed = {0};
        break;
      case PI::CMD_GET_PROPERTIES:
        param = &properties;
        allowed = {0};
        break;
      case PI::CMD_GET_PROPERTY:
        param = &property;
        allowed = {0, PI::ERR_GENERAL};
        break;
      case PI::CMD_SET_PROPERTY: {
        // The poll interval at most every 5 s (each write restarts the
        // worker's wait); 0 and 1 are clamped to 2. Otherwise a write that
        // must be refused.
        const int64_t now = Clock::now().time_since_epoch().count();
        int64_t last = m_LastPollWriteNs;
        if (kind == OBJECT_KIND_PLUGIN && property.id == 30005 && now - last > 5000000000LL &&
            m_LastPollWriteNs.compare_exchange_strong(last, now)) {
          property.SetValue(pick(3), 2, 255, 1u);
          allowed = {0};
        } else {
          property.SetValue("2");
          allowed = {PI::ERR_PROPERTY_NOT_SETTABLE};
        }
        param = &property;
        break;
      }
      case PI::CMD_GET_OPERATIONS:
        param = &operations;
        allowed = {0};
        break;
      case PI::CMD_CHECK_OPERATION:
        allowed = {0, PI::ERR_OPERATION_REJECTED};
        break;
      default:
        allowed = {kind == OBJECT_KIND_PHYSICAL_DRIVE ||
                           (kind == OBJECT_KIND_PLUGIN && operation.id != OP_GET_EVENTS)
                       ? PI::ERR_OPERATION_NOT_SUPPORTED
                       : 0};
    }
    if (command != PI::CMD_GET_TOPOLOGY && kind != OBJECT_KIND_PLUGIN) {
      allowed.insert(PI::ERR_OBJECT_NOT_FOUND);
      if (kind == 0) allowed = {PI::ERR_OBJECT_NOT_FOUND};
    }

    slot.command = command;
    slot.object = id;
    const auto start = Clock::now();
    slot.startNs = start.time_since_epoch().count();
    const uint32_t rc = m_Api->Execute(static_cast<PI::_COMMAND>(command), id, param);
    const int64_t took = (Clock::now() - start).count();
    slot.startNs = 0;
    ++m_Calls;
    for (int64_t max = m_MaxLatencyNs; took > max;) {
      if (m_MaxLatencyNs.compare_exchange_weak(max, took)) break;
    }

    if (allowed.count(rc) == 0) {
      Fail("thread " + std::to_string(t) + ": command " + std::to_string(command) + " on " +
           std::to_string(id) + " gave " + std::to_string(rc));
    }
    if (rc != 0 && !(properties.empty() && operations.empty() && topology.empty())) {
      Fail("a failed command returned a filled vector");
    }
    if (rc == 0 && command == PI::CMD_GET_PROPERTY && property.id == 30005 &&
        property.intValue != static_cast<int>(kPollSeconds)) {
      Fail("poll interval read " + std::to_string(property.intValue));
    }
    if (rc == 0 && command == PI::CMD_GET_TOPOLOGY) {
      CheckTopology(t, topology, counters);
      objects.clear();
      for (const PI::CObject& o : topology) objects.emplace_back(o.m_ID, o.m_Kind);
    }
    if (rc == 0 && command == PI::CMD_EXECUTE_OPERATION && kind == OBJECT_KIND_PLUGIN &&
        operation.id == OP_GET_EVENTS) {
      const uint64_t now = NowMs();
      std::lock_guard<std::mutex> lock(m_Lock);
      for (const PI::CEvent& e : operation.GetEvents()) m_Pending.emplace_back(e, now);
      m_EventsFetched += operation.GetEvents().size();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(pick(8000)));
  }
}

void Stress::Watchdog() {
  const int64_t limit = static_cast<int64_t>(kRequestLimitS * 1e9);
  const int64_t deadlock = static_cast<int64_t>(2 * m_CallLimitS * 1e9);
  while (!m_Stop) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int64_t now = Clock::now().time_since_epoch().count();
    for (int t = 0; t < kThreads; ++t) {
      Slot& s = m_Slots[t];
      const int64_t start = s.startNs;
      if (start == 0 || now - start < limit) continue;
      const std::string call = "thread " + std::to_string(t) + " stuck in Execute(" +
                               std::to_string(s.command) + ", " + std::to_string(s.object) +
                               ") for " + std::to_string((now - start) / 1000000) + " ms";
      if (!s.reported) Fail(call + " (limit " + std::to_string(kRequestLimitS) + " s)");
      s.reported = true;
      if (now - start > deadlock) {
        std::fprintf(stderr, "stress: deadlock, %s\n", call.c_str());
        std::abort();  // joining would hang
      }
    }
  }
}

// Judges fetched events against the churn log. An event whose object is not
// known yet waits for the topology of its scan (up to 10 s, unless final).
void Stress::JudgeEvents(bool final) {
  std::lock_guard<std::mutex> lock(m_Lock);
  m_History.CatchUp();
  const uint64_t now = NowMs();
  std::vector<std::pair<PI::CEvent, uint64_t>> waiting;
  for (const auto& [e, fetched] : m_Pending) {
    const auto serial = m_Serials.find(e.m_ObjectID);
    if (serial == m_Serials.end() && !final && now - fetched < 10000) {
      waiting.emplace_back(e, fetched);
      continue;
    }
    const std::string what = "event " + std::to_string(e.m_EventID) + " about " +
                             std::to_string(e.m_ObjectID) + " at " + std::to_string(e.m_Time);
    if (!m_Seen.emplace(e.m_Time, e.m_ObjectID, e.m_EventID).second) Fail(what + " fetched twice");
    if (e.m_Time > fetched) Fail(what + " fetched before it was made");
    if (serial == m_Serials.end()) {
      Fail(what + ": no such object in any topology");
    } else if (const std::string why =
                   m_History.Judge(e, serial->second.first, serial->second.second);
               !why.empty()) {
      Fail(what + " (" + serial->second.first + "): " + why);
    }
  }
  m_Pending.swap(waiting);
  // Doubles come within moments of each other; keep ten minutes of them.
  while (!m_Seen.empty() && std::get<0>(*m_Seen.begin()) + 600000 < now)
    m_Seen.erase(m_Seen.begin());
}

// The tree with IDs and change counters replaced by the drives they are
// about, so that two plug-ins' trees compare.
Json Stress::Normalized(const std::vector<PI::CObject>& topology) {
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

TEST_F(Stress, HostThreadsAndAChurningFleet) {
  const int fdsBefore = nimbra_test::OpenDescriptors();
  const int childrenBefore = nimbra_test::Children();
  const auto began = Clock::now();
  m_Host.onNotify = [this](IPLUGINAPI* api) {
    std::vector<PI::CObject> topology;
    if (api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology) == 0) Learn(topology);
  };
  std::vector<PI::CAdapterID> ids;
  m_Api = Start(m_Host, ids);
  ASSERT_FALSE(HasFailure());
  {
    std::vector<PI::CObject> topology;
    ASSERT_EQ(0u, m_Api->Execute(PI::CMD_GET_TOPOLOGY, 0, &topology));
    m_PluginId = topology[0].m_ID;
    Learn(topology);
  }

  const pid_t churn = SpawnChurn();
  ASSERT_GT(churn, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back([this, t] { HostThread(t); });
  std::thread watchdog([this] { Watchdog(); });

  // RSS after the first worker cycle under load.
  const int notified = m_Host.notifications;
  WaitFor([&] { return m_Host.notifications > notified; }, m_CycleS);
  const long rssFirst = RssKiB();
  int status = -1;
  while (waitpid(churn, &status, WNOHANG) == 0) {
    JudgeEvents(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  const long rssLast = RssKiB();
  m_Stop = true;
  for (std::thread& t : threads) t.join();
  watchdog.join();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the churn failed: " << status;

  // The churn has cleared every fault: a full scan forced after its end
  // sees the final fleet. The tree is taken as soon as that scan is done: a
  // refresh after it pairs readings with adapters by position, and a drive
  // that came back during the churn sits at another position in the tree.
  // Two forced scans, one after the other: the first may be one that began
  // before the churn's last edit; the second begins after it.
  std::vector<PI::CObject> live;
  for (int forced = 0; forced < 2; ++forced) {
    ASSERT_EQ(0u, m_Api->Execute(PI::CMD_GET_TOPOLOGY, 0, &live));
    const uint64_t scans = live[0].m_ChangeCount;
    m_Api->m_ForceWorker.Set();  // the host side's trigger; no operation sets it
    ASSERT_TRUE(WaitFor(
        [&] {
          return m_Api->Execute(PI::CMD_GET_TOPOLOGY, 0, &live) == 0 &&
                 live[0].m_ChangeCount > scans;
        },
        m_CallLimitS));
  }
  const std::vector<PI::CObject> scanned = live;
  PI::COperation fetch;
  fetch.id = OP_GET_EVENTS;
  ASSERT_EQ(0u, m_Api->Execute(PI::CMD_EXECUTE_OPERATION, m_PluginId, &fetch));
  {
    std::lock_guard<std::mutex> lock(m_Lock);
    for (const PI::CEvent& e : fetch.GetEvents()) m_Pending.emplace_back(e, NowMs());
  }
  m_EventsFetched += fetch.GetEvents().size();
  JudgeEvents(true);

  Host freshHost;
  // Taken right after the fresh plug-in's first full scan (Start waits for
  // it), before a refresh: a refresh pairs readings by position, and after
  // the churn the tool's indices no longer equal positions.
  std::unique_ptr<IPLUGINAPI_IMPL> fresh = Start(freshHost, ids);
  std::vector<PI::CObject> reference;
  ASSERT_EQ(0u, fresh->Execute(PI::CMD_GET_TOPOLOGY, 0, &reference));
  const Json difference = Json::diff(Normalized(reference), Normalized(scanned));
  EXPECT_TRUE(difference.empty()) << "the tree differs from a fresh plug-in's: "
                                  << difference.dump();
  EXPECT_EQ(0u, fresh->Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  fresh.reset();

  const int scansSeen = m_Host.notifications;
  EXPECT_EQ(0u, m_Api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr));
  m_Api.reset();
  WaitFor([&] { return nimbra_test::Children() <= childrenBefore; }, 5);
  const int fdsAfter = nimbra_test::OpenDescriptors();
  const int childrenAfter = nimbra_test::Children();
  EXPECT_EQ(fdsBefore, fdsAfter) << "descriptors leaked";
  EXPECT_EQ(childrenBefore, childrenAfter) << "child processes left";
#ifndef NIMBRA_SANITIZED
  EXPECT_LE(rssLast, rssFirst + std::max(kRssMarginKiB, rssFirst / 10)) << "memory grew";
#endif

  std::printf(
      "stress figures: %.1f s, worker scans notified %d, Execute calls %llu, events fetched "
      "%llu, churn transitions %llu, max call latency %.3f s (limit %.1f s), RSS first/last "
      "%ld/%ld KiB%s, fds before/after %d/%d, children before/after %d/%d\n",
      std::chrono::duration<double>(Clock::now() - began).count(), scansSeen,
      static_cast<unsigned long long>(m_Calls.load()),
      static_cast<unsigned long long>(m_EventsFetched.load()),
      static_cast<unsigned long long>(m_History.Transitions()), m_MaxLatencyNs / 1e9,
      kRequestLimitS, rssFirst, rssLast,
#ifdef NIMBRA_SANITIZED
      " (sanitizer build: not checked)",
#else
      "",
#endif
      fdsBefore, fdsAfter, childrenBefore, childrenAfter);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--churn") {
    return nimbra_test::ChurnMain(std::vector<std::string>(argv + 2, argv + argc));
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
