// Every fault of the SSD tool simulator on every command the plug-in runs,
// at every moment it runs them: a command called on its own, Initialize, one
// health refresh and one full scan of the worker's cycle (called directly,
// without the worker's timers). Each cell records the status (or the
// conversion exception that escapes the plug-in), the objects left in the
// tree, the events queued and what the moment itself shows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "NimbraConvert.h"
#include "NimbraImpl.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLXX/System.h"
#include "TestSupport.h"

namespace {

using namespace NAMESPACE_Nimbra;
using nimbra_test::TempDir;
using TLX::Threading::Native_OS::CSyncGuard;

const char* const kKinds[] = {"empty",        "no-results",   "invalid-index", "garbage",
                              "out-of-range", "exit-nonzero", "stderr-only",   "hang"};
constexpr size_t kKindCount = sizeof kKinds / sizeof kKinds[0];
constexpr uint32_t kThrows = 1;          // a conversion exception escaped instead of a status
constexpr unsigned kToolLimitMs = 2500;  // what a hang costs

enum class Moment { kCommand, kInitialize, kRefresh, kFullScan };
const char* const kMomentNames[] = {"command", "Initialize", "refresh", "full scan"};

struct Outcome {
  Outcome(uint32_t s = 0, size_t o = 0, std::vector<uint32_t> e = {}, std::string d = "")
      : status(s), objects(o), events(std::move(e)), detail(std::move(d)) {}
  bool operator==(const Outcome& o) const {
    return status == o.status && objects == o.objects && events == o.events && detail == o.detail;
  }
  uint32_t status;               // or kThrows
  size_t objects;                // in the topology: plug-in object, adapters, drives
  std::vector<uint32_t> events;  // fetched with operation 50002
  std::string detail;            // Initialize: tool version; refresh: patched, kept or rescan;
                                 // full scan: whether the host was notified
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << (o.status == kThrows ? std::string("conversion exception") : std::to_string(o.status))
      << ", " << o.objects << " objects, events [";
  for (uint32_t e : o.events) out << " " << e;
  return out << " ], '" << o.detail << "'";
}

// The commands of a row are faulted together with one kind; a moment that
// runs none of them must come out as without faults.
struct Row {
  Moment moment;
  const char* commands;
  Outcome outcomes[kKindCount];  // by kind, in the order of kKinds
};

const uint32_t F = PI::ERR_TOOL_FAILED, N = PI::ERR_NO_SUPPORTED_HARDWARE, T = kThrows;

Outcome Count(uint32_t status, int count) {
  return {status, 0, {}, "count " + std::to_string(count)};
}

// Initialize on one healthy drive. The inventory failing fails Initialize
// (the tool version is then never read); the version's status is not checked.
const Outcome kInitFailed{PI::ERR_API_INITIALIZATION_FAILED, 1}, kInitThrew{T, 1};
Outcome Initialized(const char* version) { return {0, 3, {}, version}; }

// A refresh of one healthy drive (card: 31 + 5 degrees) after Initialize,
// whose first scan read no health: a read that succeeds patches the adapter.
const Outcome kPatched{0, 3, {}, "patched"}, kKept{0, 3, {}, "kept"},
    kRefreshThrew{T, 3, {}, "kept"};

// A full scan after Initialize, of a card whose page 2 says "reliability
// degraded" (0x04) and whose page 197 says 80 degrees (85 with the margin).
// The temperature bits are added only once page 202 has been read.
const Outcome kAll{0, 3, {EVT_RELIABILITY_DEGRADED, EVT_TEMP_84_UP, EVT_TEMP_80_UP}, "notified"},
    kPage2Only{0, 3, {EVT_RELIABILITY_DEGRADED}, "notified"},
    kHot{0, 3, {EVT_TEMP_84_UP, EVT_TEMP_80_UP}, "notified"},
    kUnchanged{0, 3, {}, "quiet"},  // a failed page 2: defaults, as Initialize left them
    kRemoved{0, 1, {EVT_ADAPTER_REMOVED}, "notified"},  // no inventory: the tree is emptied
    kScanThrew{T, 3, {}, "quiet"};

const Row kRows[] = {
    // The inventory writes the count only when it parsed the output.
    {Moment::kCommand,
     "show",
     {Count(F, 7), Count(N, 7), Count(N, 0), Count(N, 0), Count(T, 7), Count(N, 0), Count(F, 7),
      Count(F, 7)}},
    {Moment::kCommand, "version", {F, F, F, F, 0, F, F, F}},
    {Moment::kCommand, "format", {F, F, F, F, 0, F, 0, F}},  // "2>&1" merges stderr
    {Moment::kCommand, "delete", {F, F, F, F, 0, F, 0, F}},
    {Moment::kCommand, "set", {F, F, F, F, 0, F, F, F}},

    {Moment::kInitialize,
     "show",
     {kInitFailed, kInitFailed, kInitFailed, kInitFailed, kInitThrew, kInitFailed, kInitFailed,
      kInitFailed}},
    {Moment::kInitialize,
     "version",
     {Initialized(""), Initialized(""), Initialized(""), Initialized(""),
      Initialized("18446744073709551616.0.0"), Initialized(""), Initialized(""), Initialized("")}},
    {Moment::kInitialize,
     "log2 log197 log202 format delete set",
     {Initialized("3.0.2"), Initialized("3.0.2"), Initialized("3.0.2"), Initialized("3.0.2"),
      Initialized("3.0.2"), Initialized("3.0.2"), Initialized("3.0.2"), Initialized("3.0.2")}},

    {Moment::kRefresh,
     "log2",
     {kKept, kPatched, kKept, kPatched, kRefreshThrew, kPatched, kKept, kKept}},
    {Moment::kRefresh,
     "log197",
     {kKept, kPatched, kKept, kPatched, kRefreshThrew, kPatched, kKept, kKept}},
    {Moment::kRefresh,
     "log202",
     {kKept, kPatched, kKept, kPatched, kRefreshThrew, kPatched, kKept, kKept}},
    {Moment::kRefresh,
     "show version format delete set",
     {kPatched, kPatched, kPatched, kPatched, kPatched, kPatched, kPatched, kPatched}},

    {Moment::kFullScan,
     "show",
     {kRemoved, kRemoved, kRemoved, kRemoved, kScanThrew, kRemoved, kRemoved, kRemoved}},
    {Moment::kFullScan,
     "log2",
     {kUnchanged, kHot, kUnchanged, kHot, kScanThrew, kHot, kUnchanged, kUnchanged}},
    {Moment::kFullScan,
     "log197",
     {kPage2Only, kPage2Only, kPage2Only, kPage2Only, kScanThrew, kPage2Only, kPage2Only,
      kPage2Only}},
    {Moment::kFullScan,
     "log202",
     {kPage2Only, kAll, kPage2Only, kAll, kScanThrew, kAll, kPage2Only, kPage2Only}},
    {Moment::kFullScan,
     "version format delete set",
     {kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll}},
};

// A fleet of the simulator's first drive with `health`, and `kind` on every
// command of `commands` for the whole fleet.
std::string FleetText(const Row& row, const char* kind) {
  std::string faults;
  std::istringstream words(row.commands);
  for (std::string command; words >> command;) {
    faults += (faults.empty() ? "\"" : ", \"") + command + "\": \"" + kind + "\"";
  }
  const char* health = row.moment == Moment::kFullScan
                           ? R"("health": {"criticalWarnings": 4, "temperature": 80})"
                           : "";
  return std::string(R"({"drives": [{)") + health + R"(}], "faults": {)" + faults + "}}";
}

// An executable script `name` in `dir` with `body` after its first line.
std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.Write(name, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

// The simulator bound to one fleet file, so that cells can run side by side.
// Here it only plays the tool: its own leak check is left to its tests.
std::string SimulatorFor(const TempDir& dir, const std::string& fleet) {
  return Script(dir, "bin/isdct",
                "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" ISDCT_SIM_FLEET='" +
                    dir.Write("fleet.json", fleet) + "' exec '" + nimbra_test::BuildDir() +
                    "/bin/isdct' \"$@\"\n");
}

// The command alone. The inventory also shows the count it leaves (7
// before) and whether it dropped the record it held.
Outcome RunCommand(IPLUGINAPI_IMPL& api, const std::string& command) {
  uint64_t count = 7;
  api.m_CmdEmuAdapters.resize(1);
  std::string version;
  CCmdEmuGetlog log;
  uint32_t status = 0;
  try {
    if (command == "show") {
      status = api.GetAdapterCount(count);
    } else if (command == "version") {
      status = api.GetVersion(version);
    } else if (command == "format") {
      status = api.CmdEmu_format(0, 0);
    } else if (command == "delete") {
      status = api.CmdEmu_delete(0);
    } else if (command == "set") {
      status = api.CmdEmu_set(0, "MaximumLBA", 4, 0);
    } else {
      status = api.GetLogPageInformation(0, log, true);  // the three pages
    }
  } catch (const ConversionError&) {
    status = kThrows;
  }
  if (command != "show") return status;
  const char* records = api.m_CmdEmuAdapters.empty() ? "" : ", records kept";
  return {status, 0, {}, "count " + std::to_string(count) + records};
}

// Counts the plug-in's notifications, as a host would.
class Host : public PI::CNotifyTarget {
 public:
  void Notified(IPLUGINAPI*) { ++notifications; }
  std::atomic<int> notifications{0};
};

// Both locks can be taken by another thread: nothing was left held.
bool LocksFree(IPLUGINAPI_IMPL& api) {
  bool free = false;
  std::thread([&] {
    CSyncGuard data, events;
    free = api.m_DataLock.Wait(&data, 1000) == 1 && api.m_EventsLock.Wait(&events, 1000) == 1;
  }).join();
  return free;
}

// What a host sees afterwards: the tree and the waiting events.
Outcome Observe(IPLUGINAPI_IMPL& api, uint32_t status, std::string detail) {
  if (!LocksFree(api)) detail += " (a lock was left held)";
  Outcome o(status, 0, {}, detail);
  std::vector<PI::CObject> topology;
  api.Execute(PI::CMD_GET_TOPOLOGY, 0, &topology);
  o.objects = topology.size();
  PI::COperation fetch;
  fetch.id = OP_GET_EVENTS;
  api.Execute(PI::CMD_EXECUTE_OPERATION, api.m_Plugin.m_ID, &fetch);
  for (const PI::CEvent& e : fetch.GetEvents()) o.events.push_back(e.m_EventID);
  return o;
}

// One cell. Initialize runs the tool in bin/ beside the host's path: for the
// Initialize cells (run one at a time) this cell's simulator, for the others
// whatever the caller has put there.
Outcome RunCell(const Row& row, const char* kind) {
  TempDir dir;
  const std::string tool = SimulatorFor(dir, FleetText(row, kind));
  if (row.moment == Moment::kInitialize) {
    TLX::Misc::CTlxApplication::SetProcessPathOverride(dir / "nimbra-host");
  }
  IPLUGINAPI_IMPL api;
  Host host;
  api.m_HostNotify.m_Object = &host;
  api.m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&Host::Notified);
  if (row.moment == Moment::kCommand) {
    api.m_ToolPath = tool;
    return RunCommand(api, row.commands);
  }
  std::vector<PI::CAdapterID> ids;
  uint32_t status = 0;
  try {
    status = api.Execute(PI::CMD_INITIALIZE, 0, &ids);
  } catch (const ConversionError&) {
    status = kThrows;
  }
  if (row.moment == Moment::kInitialize || status != 0) {
    return Observe(api, status, api.m_ToolVersion);
  }

  api.m_ToolPath = tool;
  const CIntelSSDAdapter before = api.m_Adapters.at(0);
  const uint64_t pluginChanges = api.m_Plugin.m_ChangeCount;
  CSyncGuard data;
  api.m_DataLock.Wait(&data, TLX::Threading::kInfinite);
  std::string detail;
  try {
    if (row.moment == Moment::kRefresh) {
      detail = api.RefreshHealth() ? "rescan" : "";
    } else {
      api.FullScan(data);
    }
  } catch (const ConversionError&) {
    status = kThrows;
  }
  data.Release();
  if (row.moment == Moment::kFullScan)
    return Observe(api, status, host.notifications ? "notified" : "quiet");

  const CIntelSSDAdapter& after = api.m_Adapters.at(0);
  if (detail.empty()) {
    const bool patched = after.m_Temperature != before.m_Temperature ||
                         after.m_PowerOnHours != before.m_PowerOnHours;
    detail = patched ? "patched" : "kept";
  }
  if (after.m_ChangeCount != before.m_ChangeCount || api.m_Plugin.m_ChangeCount != pluginChanges ||
      host.notifications != 0) {
    detail += " (counted or notified)";
  }
  return Observe(api, status, detail);
}

TEST(FaultMatrix, EveryFaultOnEveryCommandAtEveryMoment) {
  struct Cell {
    const Row* row;
    size_t kind;
  };
  std::vector<Cell> cells;
  for (const Row& row : kRows) {
    for (size_t k = 0; k < kKindCount; ++k) cells.push_back({&row, k});
  }
  std::vector<Outcome> got(cells.size());
  TempDir dir;
  TLXX::CSystem::SetCommandTimeout(kToolLimitMs);
  const std::string sim = "ISDCT_SIM_FLEET='" + dir.Write("fleet.json", R"({"drives": [{}]})") +
                          "' '" + nimbra_test::BuildDir() + "/bin/isdct' ";
  std::string inventory;
  ASSERT_EQ(0, nimbra_test::RunShell(sim + "sim-sysfs '" + (dir / "sys") + "'"));
  ASSERT_EQ(0, nimbra_test::RunShell(sim + "show -all -intelssd", &inventory));
  TLXX::CSystem::SetSysfsRoot(dir / "sys");
  testing::internal::CaptureStdout();  // Initialize's console line

  // The Initialize cells one after the other; then every other cell side by
  // side, each initialized on the healthy drive, whose inventory and version
  // a script replays.
  for (size_t i = 0; i < cells.size(); ++i) {
    if (cells[i].row->moment == Moment::kInitialize) {
      got[i] = RunCell(*cells[i].row, kKinds[cells[i].kind]);
    }
  }
  Script(dir, "replay/bin/isdct",
         "case \"$1\" in show) cat '" + dir.Write("replay/inventory.txt", inventory) +
             "';; version) echo 'Version: 3.0.2';; esac\n");
  TLX::Misc::CTlxApplication::SetProcessPathOverride(dir / "replay/nimbra-host");
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < 6; ++t) {  // most of a cell's time is waiting
    pool.emplace_back([&] {
      for (size_t i; (i = next++) < cells.size();) {
        if (cells[i].row->moment == Moment::kInitialize) continue;
        try {
          got[i] = RunCell(*cells[i].row, kKinds[cells[i].kind]);
        } catch (const std::exception& e) {
          got[i].detail = std::string("unexpected exception: ") + e.what();
        }
      }
    });
  }
  for (std::thread& t : pool) t.join();

  testing::internal::GetCapturedStdout();
  TLX::Misc::CTlxApplication::SetProcessPathOverride("");
  TLXX::CSystem::SetSysfsRoot("/sys");
  TLXX::CSystem::SetCommandTimeout(120000);
  for (size_t i = 0; i < cells.size(); ++i) {
    const Row& row = *cells[i].row;
    EXPECT_EQ(row.outcomes[cells[i].kind], got[i])
        << kMomentNames[static_cast<int>(row.moment)] << ": " << kKinds[cells[i].kind] << " on "
        << row.commands;
  }
}

}  // namespace
