// Drives the plug-in through Execute with commands 4 to 10 and invalid
// numbers, object IDs from the topology and random ones, and property and
// operation records of every shape (random ids, value kinds, extreme values,
// the poll interval), against the simulator's built-in fleet of four drives.
//
// Set-up, once per process: a temporary folder (sysfs tree written by the
// simulator, Nimbra.ini), Initialize, SetAdapterIDs, the worker's first full
// scan (health read), then DeInitialize. No worker runs while inputs are
// replayed and every input starts from the same poll interval and an empty
// event queue, so an input replays the same way. No input runs the tool.
//
// Invariants, checked after every command: the status is one of the host's
// codes; refused commands leave their parameter alone; the output vectors of
// commands 4, 5 and 8 are empty after a failure; an unknown ID gives 20008;
// every property has a known value kind and a ranged value within its own
// limits; the poll interval stays within 2..255; the topology's links agree.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "NimbraImpl.h"
#include "PI/ConfigFile.h"
#include "PI/Status.h"
#include "TLXX/System.h"

namespace {

using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;
namespace fs = std::filesystem;

constexpr uint64_t kModuleBase = 309ULL << 48;
constexpr int32_t kPollInterval = 30005;
constexpr int32_t kGetEvents = 50002;

[[noreturn]] void Fail(const char* what, long long detail) {
  std::fprintf(stderr, "execute_fuzz: invariant broken: %s (%lld)\n", what, detail);
  std::abort();
}
#define CHECK(cond, detail)                        \
  do {                                             \
    if (!(cond)) Fail(#cond, (long long)(detail)); \
  } while (0)

struct Notified : PI::CNotifyTarget {
  void Call(IPLUGINAPI*) { ++count; }
  std::atomic<int> count{0};
};

struct World {
  fs::path dir;
  Notified host;
  std::unique_ptr<IPLUGINAPI_IMPL> api;
  uint64_t plugin = 0;
  std::vector<uint64_t> adapters, drives;
};
World* g_World = nullptr;

bool Known(uint64_t id) {
  const World& w = *g_World;
  return id == w.plugin || std::count(w.adapters.begin(), w.adapters.end(), id) ||
         std::count(w.drives.begin(), w.drives.end(), id);
}

bool KnownStatus(uint32_t s) {
  static const std::set<uint32_t> codes = {0,     20000, 20001, 20002, 20003, 20004,
                                           20005, 20007, 20008, 20011, 20012, 20042};
  return codes.count(s) != 0;
}

void CheckProperty(const PI::CProperty& p) {
  static const std::set<int32_t> kinds = {2, 3, 5, 6, 7, 8};
  CHECK(kinds.count(p.valueKind) != 0, p.valueKind);
  if (p.valueKind == 6) {
    CHECK(p.rangeMin <= p.rangeMax, p.id);
    CHECK(p.intValue >= p.rangeMin && p.intValue <= p.rangeMax, p.id);
  }
}

void CheckTopology(const std::vector<PI::CObject>& objects) {
  const World& w = *g_World;
  CHECK(objects.size() == 1 + w.adapters.size() + w.drives.size(), objects.size());
  CHECK(objects[0].m_ID == w.plugin && objects[0].m_Kind == 19006, objects[0].m_Kind);
  std::set<uint64_t> ids;
  for (const PI::CObject& o : objects) {
    CHECK(ids.insert(o.m_ID).second, o.m_ID);
    for (const PI::CProperty& p : o.m_Properties) CheckProperty(p);
  }
  CHECK(objects[0].m_Children == w.adapters, objects[0].m_Children.size());
  for (size_t i = 0; i < w.adapters.size(); ++i) {
    const PI::CObject& a = objects[1 + i];
    CHECK(a.m_ID == w.adapters[i], i);
    CHECK(a.m_Parents == std::vector<uint64_t>{w.plugin}, i);
    for (uint64_t child : a.m_Children) {
      CHECK(std::count(w.drives.begin(), w.drives.end(), child) == 1, child);
    }
  }
  for (size_t i = 0; i < w.drives.size(); ++i) {
    const PI::CObject& d = objects[1 + w.adapters.size() + i];
    CHECK(d.m_ID == w.drives[i] && d.m_Parents.size() == 1, i);
    const auto parent = std::find(w.adapters.begin(), w.adapters.end(), d.m_Parents[0]);
    CHECK(parent != w.adapters.end(), d.m_Parents[0]);
    const auto& siblings = objects[1 + (parent - w.adapters.begin())].m_Children;
    CHECK(std::count(siblings.begin(), siblings.end(), d.m_ID) == 1, d.m_ID);
  }
}

// The IDs as the topology gives them: plug-in, adapters, drives.
void LearnIds() {
  World& w = *g_World;
  std::vector<PI::CObject> objects;
  CHECK(w.api->Execute(PI::CMD_GET_TOPOLOGY, 0, &objects) == 0, 0);
  w.plugin = objects.at(0).m_ID;
  w.adapters.clear();
  w.drives.clear();
  for (size_t i = 1; i < objects.size(); ++i) {
    (objects[i].m_Kind == objects.at(1).m_Kind ? w.adapters : w.drives).push_back(objects[i].m_ID);
  }
  CheckTopology(objects);
}

int Extreme(FuzzedDataProvider& in) {
  static const int values[] = {INT_MIN, INT_MIN + 1, -256, -1,  0,     1,
                               2,       30,          255,  256, 65536, INT_MAX};
  return in.ConsumeBool() ? in.PickValueInArray(values) : in.ConsumeIntegral<int>();
}

uint64_t PickId(FuzzedDataProvider& in) {
  const World& w = *g_World;
  switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
    case 6:
      return w.plugin;
    case 1:
      return w.adapters.empty()
                 ? 0
                 : w.adapters[in.ConsumeIntegralInRange<size_t>(0, w.adapters.size() - 1)];
    case 2:
      return w.drives.empty() ? 0
                              : w.drives[in.ConsumeIntegralInRange<size_t>(0, w.drives.size() - 1)];
    case 3:
      return kModuleBase | in.ConsumeIntegralInRange<uint64_t>(0, 20);
    case 4:
      return in.ConsumeBool() ? 0 : ~0ULL;
    default:
      return in.ConsumeIntegral<uint64_t>();
  }
}

int32_t PickPropertyId(FuzzedDataProvider& in) {
  static const int32_t ids[] = {1,     0,     -1,    kPollInterval, 30137, 30007,   30099,  30003,
                                30004, 30017, 30020, 30022,         30056, 30059,   30060,  30069,
                                30120, 30122, 30125, 30158,         30165, 30189,   30442,  30460,
                                30461, 30462, 30468, 30479,         30483, 30486,   30487,  30488,
                                30489, 30490, 30494, 30498,         30500, INT_MIN, INT_MAX};
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return kPollInterval;  // the one writable property, often
    case 1:
      return in.ConsumeIntegral<int32_t>();
    default:
      return in.PickValueInArray(ids);
  }
}

PI::CProperty PickProperty(FuzzedDataProvider& in) {
  PI::CProperty p(static_cast<PI::_PROPERTY_ID>(PickPropertyId(in)), in.ConsumeBool());
  std::vector<int> a, b;
  switch (in.ConsumeIntegralInRange(0, 9)) {
    case 8:
    case 9:
    case 0:
      p.SetValue(Extreme(in), Extreme(in), Extreme(in), in.ConsumeIntegral<unsigned>());
      break;
    case 1: {
      // The poll interval as a host sends it back, limits of its own choosing.
      const int min = in.ConsumeBool() ? 2 : Extreme(in);
      const int max = in.ConsumeBool() ? 255 : Extreme(in);
      p.SetValue(Extreme(in), min, max, 1u);
      break;
    }
    case 2:
      p.SetValue(in.ConsumeRandomLengthString(64));
      break;
    case 3:
      p.SetValue(in.ConsumeIntegral<unsigned long>());
      break;
    case 4: {
      static const float floats[] = {NAN, INFINITY, -INFINITY, 0.0f, -0.0f, 1e38f, -1e38f};
      p.SetValue(in.ConsumeBool() ? in.PickValueInArray(floats) : in.ConsumeFloatingPoint<float>());
      break;
    }
    case 5:
      a.assign(in.ConsumeIntegralInRange(0, 4), Extreme(in));
      p.SetValue(Extreme(in), a);
      break;
    case 6:
      a.assign(in.ConsumeIntegralInRange(0, 4), Extreme(in));
      b.assign(in.ConsumeIntegralInRange(0, 4), Extreme(in));
      p.SetValue(a, b);
      break;
    case 7:
      // A record whose kind word does not match what it holds.
      p.valueKind = in.ConsumeIntegral<int32_t>();
      p.intValue = Extreme(in);
      p.rangeMin = Extreme(in);
      p.rangeMax = Extreme(in);
      break;
  }
  return p;
}

PI::COperation PickOperation(FuzzedDataProvider& in) {
  static const int32_t ids[] = {kGetEvents, 50026, 0, -1, 50000, INT_MIN, INT_MAX};
  PI::COperation op;
  op.id = in.ConsumeBool() ? in.PickValueInArray(ids) : in.ConsumeIntegral<int32_t>();
  op.w1 = in.ConsumeIntegral<int32_t>();
  if (in.ConsumeBool()) op.AddEvent(PI::CEvent());
  return op;
}

void Step(FuzzedDataProvider& in) {
  World& w = *g_World;
  IPLUGINAPI_IMPL& api = *w.api;
  const int choice = in.ConsumeIntegralInRange(0, 9);
  const uint64_t id = PickId(in);
  const bool known = Known(id);
  if (choice >= 7) {
    // Numbers that are no command: the parameter is not touched.
    static const int32_t bad[] = {0, 11, 12, -1, INT_MIN, INT_MAX, 256};
    const int32_t command =
        in.ConsumeBool() ? in.PickValueInArray(bad) : in.ConsumeIntegral<int32_t>();
    if (command >= 1 && command <= 10) return;
    std::vector<PI::CProperty> param(2);
    const uint32_t rc = api.Execute(static_cast<PI::_COMMAND>(command), id, &param);
    CHECK(rc == PI::ERR_UNKNOWN_COMMAND, rc);
    CHECK(param.size() == 2 && param[0].valueKind == 0, command);
    return;
  }
  const auto command = static_cast<PI::_COMMAND>(4 + choice);
  if (in.ConsumeIntegralInRange(0, 31) == 0) {
    CHECK(api.Execute(command, id, nullptr) == PI::ERR_GENERAL, command);
    return;
  }
  uint32_t rc = 0;
  switch (command) {
    case PI::CMD_GET_TOPOLOGY: {
      std::vector<PI::CObject> objects(in.ConsumeIntegralInRange(0, 2));
      rc = api.Execute(command, id, &objects);
      CHECK(rc == 0, rc);
      CheckTopology(objects);
      break;
    }
    case PI::CMD_GET_PROPERTIES: {
      std::vector<PI::CProperty> out(in.ConsumeIntegralInRange(0, 2));
      rc = api.Execute(command, id, &out);
      CHECK(rc == (known ? 0 : PI::ERR_OBJECT_NOT_FOUND), rc);
      if (rc != 0) CHECK(out.empty(), out.size());
      for (const PI::CProperty& p : out) CheckProperty(p);
      CHECK(!known || !out.empty(), id);
      break;
    }
    case PI::CMD_GET_PROPERTY: {
      PI::CProperty p = PickProperty(in);
      const int32_t asked = p.id;
      rc = api.Execute(command, id, &p);
      if (!known) CHECK(rc == PI::ERR_OBJECT_NOT_FOUND, rc);
      if (known) CHECK(rc == 0 || rc == PI::ERR_GENERAL, rc);
      if (rc == 0) {
        CheckProperty(p);
        CHECK(asked == 1 || p.id == asked, p.id);
      }
      break;
    }
    case PI::CMD_SET_PROPERTY: {
      PI::CProperty p = PickProperty(in);
      rc = api.Execute(command, id, &p);
      if (!known) CHECK(rc == PI::ERR_OBJECT_NOT_FOUND, rc);
      if (known && (id != w.plugin || p.id != kPollInterval || p.valueKind != 6)) {
        CHECK(rc == PI::ERR_PROPERTY_NOT_SETTABLE, rc);
      }
      const uint32_t interval = api.m_PollInterval.load();
      CHECK(interval >= 2 && interval <= 255, interval);
      break;
    }
    case PI::CMD_GET_OPERATIONS: {
      std::vector<PI::COperation> out(in.ConsumeIntegralInRange(0, 2));
      rc = api.Execute(command, id, &out);
      CHECK(rc == (known ? 0 : PI::ERR_OBJECT_NOT_FOUND), rc);
      if (rc != 0) CHECK(out.empty(), out.size());
      if (id == w.plugin) CHECK(out.size() == 1 && out[0].id == kGetEvents, out.size());
      break;
    }
    case PI::CMD_CHECK_OPERATION: {
      PI::COperation op = PickOperation(in);
      rc = api.Execute(command, id, &op);
      if (!known) CHECK(rc == PI::ERR_OBJECT_NOT_FOUND, rc);
      if (known) CHECK(rc == 0 || rc == PI::ERR_OPERATION_REJECTED, rc);
      break;
    }
    default: {
      PI::COperation op = PickOperation(in);
      rc = api.Execute(command, id, &op);
      if (!known) CHECK(rc == PI::ERR_OBJECT_NOT_FOUND, rc);
      if (id == w.plugin) {
        CHECK(rc == (op.id == kGetEvents ? 0u : PI::ERR_OPERATION_NOT_SUPPORTED), rc);
      }
      if (id == w.plugin && op.id == kGetEvents) {
        for (const PI::CEvent& e : op.GetEvents())
          CHECK(e.m_EventID != 0 && Known(e.m_ObjectID), e.m_ObjectID);
      }
      break;
    }
  }
  CHECK(KnownStatus(rc), rc);
}

[[noreturn]] void SetUpFailed(const std::string& what) {
  std::fprintf(stderr, "execute_fuzz: set-up failed: %s\n", what.c_str());
  std::exit(1);
}

void RemoveWorld() {
  if (g_World == nullptr) return;
  g_World->api.reset();
  std::error_code ec;
  fs::remove_all(g_World->dir, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_World = new World;  // lives until exit
  World& w = *g_World;
  const fs::path tool = fs::read_symlink("/proc/self/exe").parent_path() / "bin" / "isdct";
  std::string folder = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  folder += "/nimbra-execute-fuzz-XXXXXX";
  if (mkdtemp(&folder[0]) == nullptr) SetUpFailed("no temporary folder");
  w.dir = folder;
  std::atexit(RemoveWorld);
  unsetenv("ISDCT_SIM_FLEET");  // the built-in fleet
  const std::string sysfs = (w.dir / "sys").string();
  if (std::system(("'" + tool.string() + "' sim-sysfs '" + sysfs + "'").c_str()) != 0) {
    SetUpFailed(tool.string() + " sim-sysfs " + sysfs);
  }
  TLXX::CSystem::SetSysfsRoot(sysfs);
  TLXX::CSystem::SetCommandTimeout(20000);
  PI::CConfigFile::SetConfigDirectory(w.dir.string());

  w.api = std::make_unique<IPLUGINAPI_IMPL>();
  w.api->m_HostNotify.m_Object = &w.host;
  w.api->m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&Notified::Call);
  std::vector<PI::CAdapterID> ids;
  if (w.api->Execute(PI::CMD_INITIALIZE, 0, &ids) != 0)
    SetUpFailed("Initialize with " + tool.string());
  for (size_t i = 0; i < ids.size(); ++i) ids[i].m_HostNumber = static_cast<uint32_t>(i);
  w.api->Execute(PI::CMD_SET_ADAPTER_IDS, 0, &ids);
  // The worker's first full scan reads every drive's health; then it stops.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (w.host.count == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (w.host.count == 0) SetUpFailed("no first full scan");
  w.api->Execute(PI::CMD_DEINITIALIZE, 0, nullptr);
  w.api->m_HostNotify.Clear();
  LearnIds();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IPLUGINAPI_IMPL& api = *g_World->api;
  api.m_PollInterval = 30;
  {
    TLX::Threading::Native_OS::CSyncGuard events;
    api.m_EventsLock.Wait(&events, TLX::Threading::kInfinite);
    api.m_Events.clear();
  }
  FuzzedDataProvider in(data, size);
  for (int steps = 0; in.remaining_bytes() > 0 && steps < 64; ++steps) Step(in);
  return 0;
}
