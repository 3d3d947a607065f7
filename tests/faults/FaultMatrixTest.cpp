// Every fault of the SSD tool simulator on every command the plug-in runs,
// at every moment it runs them: a command called on its own, Initialize, one
// health refresh and one full scan of the worker's cycle (called directly,
// without the worker's timers). Each cell records the status (or the
// conversion exception that escapes the plug-in), the objects left in the
// tree, the events queued and what the moment itself shows.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "LivePlugin.h"
#include "NimbraConvert.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLXX/System.h"

namespace {

using namespace NAMESPACE_Nimbra;
using nimbra_test::TempDir;

const char* const kKinds[] = {"empty",        "no-results",   "invalid-index", "garbage",
                              "out-of-range", "exit-nonzero", "stderr-only",   "hang"};
constexpr size_t kKindCount = 8, kHang = 7;
constexpr uint32_t kThrows = 1;  // a conversion exception escaped instead of a status

enum class Moment { kCommand, kInitialize, kRefresh, kFullScan };

struct Outcome {
  uint32_t status = 0;           // or kThrows
  size_t objects = 0;            // in the topology: plug-in object, adapters, drives
  std::vector<uint32_t> events;  // fetched with operation 50002
  std::string detail;            // show: the count left (7 before); Initialize: tool version;
                                 // refresh: patched, kept or rescan; full scan: notified or quiet
  Outcome(uint32_t s = 0, size_t o = 0, std::vector<uint32_t> e = {}, std::string d = "")
      : status(s), objects(o), events(std::move(e)), detail(std::move(d)) {}
  std::string Text() const {
    std::ostringstream out;
    out << (status == kThrows ? "throws" : std::to_string(status)) << ", " << objects << " [";
    for (uint32_t e : events) out << " " << e;
    return out.str() + " ] " + detail;
  }
};

// The commands of a row are faulted together with one kind; a moment that
// runs none of them must come out as without faults.
struct Row {
  Moment moment;
  const char* commands;
  Outcome outcomes[kKindCount];  // in the order of kKinds
};

const uint32_t F = PI::ERR_TOOL_FAILED, N = PI::ERR_NO_SUPPORTED_HARDWARE, T = kThrows;
// The inventory writes the count only when it parsed the output.
const Outcome kF7{F, 0, {}, "7"}, kN7{N, 0, {}, "7"}, kN0{N, 0, {}, "0"}, kT7{T, 0, {}, "7"};
// Initialize on one healthy drive. The inventory failing fails Initialize
// (the tool version is then never read).
const Outcome kInitFailed{PI::ERR_API_INITIALIZATION_FAILED, 1}, kInitThrew{T, 1}, kInit{0, 3};
// A refresh of one healthy drive (card: 31 + 5 degrees) after Initialize,
// whose first scan read no health: a read that succeeds patches the adapter.
const Outcome kPatched{0, 3, {}, "patched"}, kKept{0, 3, {}, "kept"},
    kRefreshThrew{T, 3, {}, "kept"};
// A full scan after Initialize, of a card whose page 2 says "reliability
// degraded" (0x04) and whose page 197 says 80 degrees (85 with the margin).
// The temperature bits are added only once page 202 has been read.
const Outcome kAll{0, 3, {EVT_RELIABILITY_DEGRADED, EVT_TEMP_84_UP, EVT_TEMP_80_UP}, "notified"},
    kPage2{0, 3, {EVT_RELIABILITY_DEGRADED}, "notified"},
    kHot{0, 3, {EVT_TEMP_84_UP, EVT_TEMP_80_UP}, "notified"},
    kQuiet{0, 3, {}, "quiet"},  // a failed page 2: defaults, as Initialize left them
    kRemoved{0, 1, {EVT_ADAPTER_REMOVED}, "notified"},  // no drive listed: the tree is emptied
    kScanThrew{T, 3, {}, "quiet"};

// The health pages have no row of their own: a refresh patches the adapter
// exactly when reading the three pages returns 0.
const Row kRows[] = {
    {Moment::kCommand, "show", {kF7, kN7, kN0, kN0, kT7, kN0, kF7, kF7}},
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
     {kInit, kInit, kInit, kInit, {0, 3, {}, "18446744073709551616.0.0"}, kInit, kInit, kInit}},
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
     {kQuiet, kRemoved, kRemoved, kRemoved, kScanThrew, kRemoved, kQuiet, kQuiet}},
    {Moment::kFullScan, "log2", {kQuiet, kHot, kQuiet, kHot, kScanThrew, kHot, kQuiet, kQuiet}},
    {Moment::kFullScan,
     "log197",
     {kPage2, kPage2, kPage2, kPage2, kScanThrew, kPage2, kPage2, kPage2}},
    {Moment::kFullScan, "log202", {kPage2, kAll, kPage2, kAll, kScanThrew, kAll, kPage2, kPage2}},
    {Moment::kFullScan,
     "version format delete set",
     {kAll, kAll, kAll, kAll, kAll, kAll, kAll, kAll}},
};

// A fleet of the simulator's first drive, with `kind` on every command of
// the row for the whole fleet.
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

class Cell : public PI::CNotifyTarget {
 public:
  Cell(const Row& row, size_t kind, const TempDir& dir, const std::string& folder)
      : row(row),
        m_Folder(dir / folder),
        m_Tool(nimbra_test::SimulatorFor(dir, folder, FleetText(row, kKinds[kind]))) {
    m_Api.m_HostNotify.m_Object = this;
    m_Api.m_HostNotify.m_Method = static_cast<PI::CHostNotify::Method>(&Cell::Notified);
    m_Api.m_HealthReadPauseMs = 0;  // it only spaces the tool runs of a refresh
  }

  // Initialize runs the tool beside the host's path, which is one setting for
  // the process: an Initialize cell's own, or the replayed healthy drive.
  void Initialize() {
    if (row.moment == Moment::kInitialize) {
      TLX::Misc::CTlxApplication::SetProcessPathOverride(m_Folder + "/nimbra-host");
    }
    std::vector<PI::CAdapterID> ids;
    m_Initialized = Catching([&] { return m_Api.Execute(PI::CMD_INITIALIZE, 0, &ids); });
    m_Api.m_ToolPath = m_Tool;
  }

  // The moment itself (after Initialize, but for a command alone), then
  // what a host sees.
  Outcome Run() {
    if (row.moment == Moment::kCommand) return RunCommand();
    if (row.moment == Moment::kInitialize || m_Initialized != 0) {
      return Observe(m_Initialized, m_Api.m_ToolVersion);
    }
    const CIntelSSDAdapter before = m_Api.m_Adapters.at(0);
    const uint64_t pluginChanges = m_Api.m_Plugin.m_ChangeCount;
    bool rescan = false;
    m_Api.WorkerTakesData();
    const uint32_t status = Catching([&] {
      rescan = row.moment == Moment::kRefresh ? m_Api.RefreshHealth() : m_Api.FullScan();
      return 0u;
    });
    m_Api.WorkerReleasesData();  // after an escaped exception
    if (row.moment == Moment::kFullScan) return Observe(status, m_Notified ? "notified" : "quiet");
    const CIntelSSDAdapter& after = m_Api.m_Adapters.at(0);
    std::string detail = rescan ? "rescan"
                         : after.m_Temperature != before.m_Temperature ||
                                 after.m_PowerOnHours != before.m_PowerOnHours
                             ? "patched"
                             : "kept";
    if (after.m_ChangeCount != before.m_ChangeCount ||
        m_Api.m_Plugin.m_ChangeCount != pluginChanges || m_Notified) {
      detail += " (counted or notified)";
    }
    return Observe(status, detail);
  }

  const Row& row;

 private:
  template <class Call>
  static uint32_t Catching(Call call) {
    try {
      return call();
    } catch (const ConversionError&) {
      return kThrows;
    }
  }

  // The inventory also shows the count it leaves and whether it dropped the
  // record it held.
  Outcome RunCommand() {
    m_Api.m_ToolPath = m_Tool;
    m_Api.m_CmdEmuAdapters.resize(1);
    const std::string command = row.commands;
    uint64_t count = 7;
    std::string version;
    const uint32_t status = Catching([&] {
      if (command == "show") return m_Api.GetAdapterCount(count);
      if (command == "version") return m_Api.GetVersion(version);
      if (command == "format") return m_Api.CmdEmu_format(0, 0);
      if (command == "delete") return m_Api.CmdEmu_delete(0);
      return m_Api.CmdEmu_set(0, "MaximumLBA", 4, 0);
    });
    if (command != "show") return status;
    return {status, 0, {}, std::to_string(count) + (m_Api.m_CmdEmuAdapters.empty() ? "" : " kept")};
  }

  // The tree and the waiting events, after checking that another thread
  // can take both locks (nothing was left held).
  Outcome Observe(uint32_t status, const std::string& detail) {
    bool free = false;
    std::thread([&] {
      TLX::Threading::Native_OS::CSyncGuard data, events;
      free = m_Api.m_DataLock.Wait(&data, 1000) == 1 && m_Api.m_EventsLock.Wait(&events, 1000) == 1;
    }).join();
    std::vector<PI::CObject> topology;
    m_Api.Execute(PI::CMD_GET_TOPOLOGY, 0, &topology);
    PI::COperation fetch;
    fetch.id = OP_GET_EVENTS;
    m_Api.Execute(PI::CMD_EXECUTE_OPERATION, m_Api.m_Plugin.m_ID, &fetch);
    Outcome o(status, topology.size(), {}, free ? detail : detail + " (a lock was left held)");
    for (const PI::CEvent& e : fetch.GetEvents()) o.events.push_back(e.m_EventID);
    return o;
  }
  void Notified(IPLUGINAPI*) { m_Notified = true; }

  std::string m_Folder, m_Tool;
  IPLUGINAPI_IMPL m_Api;
  std::atomic<bool> m_Notified{false};
  uint32_t m_Initialized = 0;  // Initialize's status, or kThrows
};

TEST(FaultMatrix, EveryFaultOnEveryCommandAtEveryMoment) {
  TempDir dir;
  nimbra_test::ReplayTool(dir, "replay");
  TLXX::CSystem::SetSysfsRoot(dir / "sys");
  TLXX::CSystem::SetCommandTimeout(6000);  // what a hang costs; ample for a busy machine
  testing::internal::CaptureStdout();      // Initialize's console line
  std::vector<std::unique_ptr<Cell>> cells;
  for (const Row& row : kRows) {
    for (size_t k = 0; k < kKindCount; ++k) {
      cells.push_back(std::make_unique<Cell>(row, k, dir, "cell" + std::to_string(cells.size())));
    }
  }
  // Refresh and full-scan cells start from Initialize on the replayed
  // healthy drive; then they run side by side, hangs first so that their
  // waits overlap, while the Initialize cells take their turns.
  TLX::Misc::CTlxApplication::SetProcessPathOverride(dir / "replay/nimbra-host");
  std::vector<size_t> order, initializing;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (cells[i]->row.moment == Moment::kInitialize) {
      initializing.push_back(i);
      continue;
    }
    if (cells[i]->row.moment != Moment::kCommand) cells[i]->Initialize();
    order.insert(i % kKindCount == kHang ? order.begin() : order.end(), i);
  }
  std::vector<Outcome> got(cells.size());
  std::atomic<size_t> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < 8; ++t) {
    pool.emplace_back([&] {
      for (size_t n; (n = next++) < order.size();) got[order[n]] = cells[order[n]]->Run();
    });
  }
  for (size_t i : initializing) {
    cells[i]->Initialize();
    got[i] = cells[i]->Run();
  }
  for (std::thread& t : pool) t.join();
  testing::internal::GetCapturedStdout();
  TLX::Misc::CTlxApplication::SetProcessPathOverride("");
  TLXX::CSystem::SetSysfsRoot("/sys");
  TLXX::CSystem::SetCommandTimeout(120000);
  for (size_t i = 0; i < cells.size(); ++i) {
    EXPECT_EQ(cells[i]->row.outcomes[i % kKindCount].Text(), got[i].Text())
        << kKinds[i % kKindCount] << " on " << cells[i]->row.commands << " at moment "
        << static_cast<int>(cells[i]->row.moment);
  }
}

}  // namespace
