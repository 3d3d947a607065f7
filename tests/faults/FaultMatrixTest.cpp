// Every fault of the SSD tool simulator on every command the plug-in runs,
// at every moment it runs them: a command called on its own, Initialize, one
// health refresh and one full scan of the worker's cycle (called directly,
// without the worker's timers). Each cell records the status (or the
// conversion exception that escapes the plug-in), the objects left in the
// tree, the events queued and what the moment itself shows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <iterator>
#include <memory>
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
constexpr size_t kHang = 7;      // kKinds[kHang] is "hang"
constexpr uint32_t kThrows = 1;  // a conversion exception escaped instead of a status
// What a hang costs; ample for a tool run on a busy machine.
constexpr unsigned kToolLimitMs = 6000;

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
// (the tool version is then never read).
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
    kRemoved{0, 1, {EVT_ADAPTER_REMOVED}, "notified"},  // no drive listed: the tree is emptied
    kScanThrew{T, 3, {}, "quiet"};

// The health pages have no row of their own: a refresh patches the adapter
// exactly when reading the three pages returns 0.
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
    // The version's fault, with every command Initialize never runs faulted
    // alike: the version's status is not checked.
    {Moment::kInitialize,
     "version log2 log197 log202 format delete set",
     {Initialized(""), Initialized(""), Initialized(""), Initialized(""),
      Initialized("18446744073709551616.0.0"), Initialized(""), Initialized(""), Initialized("")}},

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

    // An inventory that lists no drive (20001) empties the tree; one that
    // could not be run or printed nothing (20003) changes nothing.
    {Moment::kFullScan,
     "show",
     {kUnchanged, kRemoved, kRemoved, kRemoved, kScanThrew, kRemoved, kUnchanged, kUnchanged}},
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

// The simulator bound to one fleet file, as `folder`/bin/isdct in `dir`, so
// that cells can run side by side. Here it only plays the tool: its own leak
// check is left to its tests.
std::string SimulatorFor(const TempDir& dir, const std::string& folder, const std::string& fleet) {
  return Script(dir, folder + "/bin/isdct",
                "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" ISDCT_SIM_FLEET='" +
                    dir.Write(folder + "/fleet.json", fleet) + "' exec '" +
                    nimbra_test::BuildDir() + "/bin/isdct' \"$@\"\n");
}

// The command alone. The inventory also shows the count it leaves (7
// before) and whether it dropped the record it held.
Outcome RunCommand(IPLUGINAPI_IMPL& api, const std::string& command) {
  uint64_t count = 7;
  api.m_CmdEmuAdapters.resize(1);
  std::string version;
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
    } else {
      status = api.CmdEmu_set(0, "MaximumLBA", 4, 0);
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

// One cell: its own simulator, in a folder of `dir`, and its own plug-in.
// Initialize runs the tool in bin/ beside the host's path, which the caller
// chooses (one setting for the process); every later tool run goes to this
// cell's simulator.
class Cell {
 public:
  Cell(const Row& row, size_t kind, const TempDir& dir, const std::string& folder)
      : m_Row(row),
        m_Kind(kKinds[kind]),
        m_Folder(dir / folder),
        m_Tool(SimulatorFor(dir, folder, FleetText(row, m_Kind))) {
    m_Api.m_HostNotify.m_Object = &m_Host;
    m_Api.m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&Host::Notified);
    m_Api.m_HealthReadPauseMs = 0;  // it only spaces the tool runs of a refresh
  }
  const Row& row() const { return m_Row; }
  // Where a host would have to run for Initialize to find this cell's tool.
  std::string HostPath() const { return m_Folder + "/nimbra-host"; }

  void Initialize() {
    std::vector<PI::CAdapterID> ids;
    try {
      m_Initialized = m_Api.Execute(PI::CMD_INITIALIZE, 0, &ids);
    } catch (const ConversionError&) {
      m_Initialized = kThrows;
    }
    m_Api.m_ToolPath = m_Tool;
  }

  // The moment itself (after Initialize, but for a command alone), then
  // what a host sees.
  Outcome Run() {
    if (m_Row.moment == Moment::kCommand) {
      m_Api.m_ToolPath = m_Tool;
      return RunCommand(m_Api, m_Row.commands);
    }
    if (m_Row.moment == Moment::kInitialize || m_Initialized != 0) {
      return Observe(m_Initialized, m_Api.m_ToolVersion);
    }
    const CIntelSSDAdapter before = m_Api.m_Adapters.at(0);
    const uint64_t pluginChanges = m_Api.m_Plugin.m_ChangeCount;
    uint32_t status = 0;
    std::string detail;
    m_Api.WorkerTakesData();
    try {
      if (m_Row.moment == Moment::kRefresh) {
        detail = m_Api.RefreshHealth() ? "rescan" : "";
      } else {
        m_Api.FullScan();
      }
    } catch (const ConversionError&) {
      status = kThrows;
    }
    m_Api.WorkerReleasesData();  // after an escaped exception
    if (m_Row.moment == Moment::kFullScan) {
      return Observe(status, m_Host.notifications ? "notified" : "quiet");
    }
    const CIntelSSDAdapter& after = m_Api.m_Adapters.at(0);
    if (detail.empty()) {
      const bool patched = after.m_Temperature != before.m_Temperature ||
                           after.m_PowerOnHours != before.m_PowerOnHours;
      detail = patched ? "patched" : "kept";
    }
    if (after.m_ChangeCount != before.m_ChangeCount ||
        m_Api.m_Plugin.m_ChangeCount != pluginChanges || m_Host.notifications != 0) {
      detail += " (counted or notified)";
    }
    return Observe(status, detail);
  }

 private:
  // The tree and the waiting events, after checking that another thread
  // can take both locks (nothing was left held).
  Outcome Observe(uint32_t status, std::string detail) {
    bool free = false;
    std::thread([&] {
      CSyncGuard data, events;
      free = m_Api.m_DataLock.Wait(&data, 1000) == 1 && m_Api.m_EventsLock.Wait(&events, 1000) == 1;
    }).join();
    Outcome o(status, 0, {}, free ? detail : detail + " (a lock was left held)");
    std::vector<PI::CObject> topology;
    m_Api.Execute(PI::CMD_GET_TOPOLOGY, 0, &topology);
    o.objects = topology.size();
    PI::COperation fetch;
    fetch.id = OP_GET_EVENTS;
    m_Api.Execute(PI::CMD_EXECUTE_OPERATION, m_Api.m_Plugin.m_ID, &fetch);
    for (const PI::CEvent& e : fetch.GetEvents()) o.events.push_back(e.m_EventID);
    return o;
  }

  const Row& m_Row;
  const char* m_Kind;
  std::string m_Folder;
  std::string m_Tool;
  Host m_Host;
  IPLUGINAPI_IMPL m_Api;
  uint32_t m_Initialized = 0;  // Initialize's status, or kThrows
};

TEST(FaultMatrix, EveryFaultOnEveryCommandAtEveryMoment) {
  TempDir dir;
  const std::string sim = "ISDCT_SIM_FLEET='" + dir.Write("fleet.json", R"({"drives": [{}]})") +
                          "' '" + nimbra_test::BuildDir() + "/bin/isdct' ";
  std::string inventory;
  ASSERT_EQ(0, nimbra_test::RunShell(sim + "sim-sysfs '" + (dir / "sys") + "'"));
  ASSERT_EQ(0, nimbra_test::RunShell(sim + "show -all -intelssd", &inventory));
  Script(dir, "replay/bin/isdct",
         "case \"$1\" in show) cat '" + dir.Write("replay/inventory.txt", inventory) +
             "';; version) echo 'Version: 3.0.2';; esac\n");
  TLXX::CSystem::SetSysfsRoot(dir / "sys");
  TLXX::CSystem::SetCommandTimeout(kToolLimitMs);
  testing::internal::CaptureStdout();  // Initialize's console line

  // Refresh and full-scan cells start from Initialize on the healthy drive,
  // whose inventory and version a script replays; then they run side by side
  // while the Initialize cells take their turns with the host's path.
  std::vector<std::unique_ptr<Cell>> cells, initializeCells;
  for (const Row& row : kRows) {
    for (size_t k = 0; k < kKindCount; ++k) {
      auto& list = row.moment == Moment::kInitialize ? initializeCells : cells;
      const std::string folder = "cell" + std::to_string(cells.size() + initializeCells.size());
      list.push_back(std::make_unique<Cell>(row, k, dir, folder));
    }
  }
  TLX::Misc::CTlxApplication::SetProcessPathOverride(dir / "replay/nimbra-host");
  for (auto& cell : cells) {
    if (cell->row().moment != Moment::kCommand) cell->Initialize();
  }
  std::vector<Outcome> got(cells.size()), initializeGot(initializeCells.size());
  // The hangs first, so that their waits overlap; they take no processor.
  std::vector<size_t> order;
  for (bool hang : {true, false}) {
    for (size_t i = 0; i < cells.size(); ++i) {
      if ((i % kKindCount == kHang) == hang) order.push_back(i);
    }
  }
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < 8; ++t) {
    pool.emplace_back([&] {
      for (size_t n; (n = next++) < order.size();) got[order[n]] = cells[order[n]]->Run();
    });
  }
  for (size_t i = 0; i < initializeCells.size(); ++i) {
    TLX::Misc::CTlxApplication::SetProcessPathOverride(initializeCells[i]->HostPath());
    initializeCells[i]->Initialize();
    initializeGot[i] = initializeCells[i]->Run();
  }
  for (std::thread& t : pool) t.join();

  testing::internal::GetCapturedStdout();
  TLX::Misc::CTlxApplication::SetProcessPathOverride("");
  TLXX::CSystem::SetSysfsRoot("/sys");
  TLXX::CSystem::SetCommandTimeout(120000);
  cells.insert(cells.end(), std::make_move_iterator(initializeCells.begin()),
               std::make_move_iterator(initializeCells.end()));
  got.insert(got.end(), initializeGot.begin(), initializeGot.end());
  for (size_t i = 0; i < cells.size(); ++i) {
    const Row& row = cells[i]->row();
    EXPECT_EQ(row.outcomes[i % kKindCount], got[i])
        << kMomentNames[static_cast<int>(row.moment)] << ": " << kKinds[i % kKindCount] << " on "
        << row.commands;
  }
}

}  // namespace
