// The state object's life: construction from the ini file, Initialize,
// SetAdapterIDs, DeInitialize, destruction; and the topology report.
#include <boost/bind/bind.hpp>
#include <boost/convert.hpp>
#include <boost/convert/stream.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/optional.hpp>
#include <cstdio>
#include <memory>

#include "NimbraCmdEmuParse.h"
#include "NimbraImpl.h"
#include "NimbraLockScope.h"
#include "NimbraScanRules.h"
#include "NimbraTrace.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLXX/ConfigManager.h"
#include "TLXX/System.h"
#include "TLXX/SystemTime.h"

namespace NAMESPACE_Nimbra {

namespace {

constexpr uint32_t kDefaultPollInterval = IPLUGINAPI_IMPL::kDefaultPollInterval;
constexpr uint32_t kMinPollInterval = IPLUGINAPI_IMPL::kMinPollInterval;
constexpr uint32_t kMaxPollInterval = IPLUGINAPI_IMPL::kMaxPollInterval;
constexpr unsigned kDeInitializeGraceMs = 24999;

void PrintAdapterCount(unsigned long count) {
  std::printf("%s:  Initialize:  adapter count is %lu\n", TLX_MODULE_INFO_Nimbra.Name(), count);
  std::fflush(stdout);
}

}  // namespace

namespace {

// The number in an ini text, by stream conversion; none when it is not one
// that fits 32 bits.
boost::optional<uint32_t> PollIntervalNumber(const std::string& text) {
  boost::cnv::cstream cnv;
  cnv(std::skipws);
  return boost::convert<uint32_t>(text, cnv);
}

uint32_t Clamped(uint32_t value) {
  return value < kMinPollInterval   ? kMinPollInterval
         : value > kMaxPollInterval ? kMaxPollInterval
                                    : value;
}

}  // namespace

uint32_t PollIntervalFromText(const std::string& text) {
  return Clamped(PollIntervalNumber(text).value_or(kDefaultPollInterval));
}

IPLUGINAPI_IMPL::IPLUGINAPI_IMPL() {
  m_InterfaceVersion = 2;
  m_HostNotify.Clear();
  m_ModuleTag = 0;
  m_ConfigFile.SetFileName("Nimbra.ini");
  m_PollInterval = kDefaultPollInterval;
  std::string text;
  const std::string path = m_ConfigFile.ResolvedPath();
  if (m_ConfigFile.ReadKeyValue("PollInterval", text, -1, -1) != 0) {
    // Say why the default holds: a missing file or key is normal, a file that
    // cannot be read is a fault of the installation.
    switch (m_ConfigFile.State()) {
      case PI::CConfigFile::FileState::kMissing:
        NIMBRA_TRACE(16, kUnitPlugin, "No configuration file %s: PollInterval %d s", path,
                     kDefaultPollInterval);
        break;
      case PI::CConfigFile::FileState::kUnreadable:
        NIMBRA_TRACE(2, kUnitPlugin, "Cannot read the configuration file %s: PollInterval %d s",
                     path, kDefaultPollInterval);
        break;
      case PI::CConfigFile::FileState::kReadable:
        NIMBRA_TRACE(16, kUnitPlugin, "No PollInterval in %s: %d s", path, kDefaultPollInterval);
        break;
    }
    return;
  }
  const boost::optional<uint32_t> number = PollIntervalNumber(text);
  m_PollInterval = PollIntervalFromText(text);
  if (!number) {
    NIMBRA_TRACE(2, kUnitPlugin, "PollInterval '%s' in %s is not a number: %d s", text, path,
                 m_PollInterval.load());
  } else if (*number != m_PollInterval) {
    NIMBRA_TRACE(2, kUnitPlugin, "PollInterval %s in %s is outside %d..%d: %d s", text, path,
                 kMinPollInterval, kMaxPollInterval, m_PollInterval.load());
  } else {
    NIMBRA_TRACE(16, kUnitPlugin, "PollInterval %d s from %s", m_PollInterval.load(), path);
  }
}

IPLUGINAPI_IMPL::~IPLUGINAPI_IMPL() {
  // The worker must be gone before the members it uses.
  std::lock_guard<std::mutex> worker(m_WorkerLock);
  m_WorkerThread.reset();
}

uint32_t IPLUGINAPI_IMPL::Initialize(std::vector<PI::CAdapterID>& out) {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER Initialize()");
  int rc = m_DataLock.Init();
  if (rc != 1) {
    NIMBRA_TRACE(2, kUnitPlugin,
                 "LEAVE Initialize() m_DataLock.Init() -> PI::ERR_LOCK_INITIALIZATION_FAILED %d",
                 rc);
    return PI::ERR_LOCK_INITIALIZATION_FAILED;
  }
  rc = m_EventsLock.Init();
  if (rc != 1) {
    NIMBRA_TRACE(
        2, kUnitPlugin,
        "LEAVE Initialize() m_PrivateEventsLock.Init() -> PI::ERR_LOCK_INITIALIZATION_FAILED %d",
        rc);
    return PI::ERR_LOCK_INITIALIZATION_FAILED;
  }
  struct EventInit {
    TLX::Threading::CEvent& event;
    bool manualReset;
    const char* failure;
  };
  const EventInit events[] = {
      {m_ForceWorker, false,
       "LEAVE Initialize() m_ForceWorker.Init() -> PI::ERR_LOCK_INITIALIZATION_FAILED %d"},
      {m_StopRequest, true,
       "LEAVE Initialize() m_StopRequest.Init() -> PI::ERR_LOCK_INITIALIZATION_FAILED %d"},
      {m_PrivateEvent, false,
       "LEAVE Initialize() m_PrivateEvent.Init() -> PI::ERR_LOCK_INITIALIZATION_FAILED %d"},
  };
  for (const EventInit& e : events) {
    rc = e.event.Init(false, e.manualReset);
    if (rc != 1) {
      NIMBRA_TRACE(2, kUnitPlugin, e.failure, rc);
      return PI::ERR_LOCK_INITIALIZATION_FAILED;
    }
  }

  int segment = 0, bus = 0, device = 0, function = 0;
  if (!TLXX::CConfigManager::GetLocation("8086", "0953", 1, segment, bus, device, function)) {
    NIMBRA_TRACE(2, kUnitPlugin, "Initialize: no PCI device 8086:0953 in %s/bus/pci/devices",
                 TLXX::CSystem::GetSysfsRoot());
    PrintAdapterCount(0);
    NIMBRA_TRACE(2, kUnitPlugin, "LEAVE Initialize() -> PI::ERR_NO_SUPPORTED_HARDWARE");
    return PI::ERR_NO_SUPPORTED_HARDWARE;
  }

  // The tool lives in bin/ beside the host executable. Without the host's
  // path there is no tool to run: a relative bin/isdct would be looked up in
  // whatever the current folder happens to be.
  std::string processPath;
  if (!TLX::Misc::CTlxApplication::GetProcessPath(processPath) || processPath.empty()) {
    NIMBRA_TRACE(2, kUnitPlugin,
                 "Initialize: cannot resolve the host process path, so the SSD tool bin/isdct "
                 "beside it cannot be located");
    PrintAdapterCount(0);
    NIMBRA_TRACE(2, kUnitPlugin, "LEAVE Initialize() -> PI::ERR_API_INITIALIZATION_FAILED");
    return PI::ERR_API_INITIALIZATION_FAILED;
  }
  // A worker of an earlier start may still run tools with m_ToolPath: the
  // text is written only when it changes (the host's path never does).
  const std::string toolPath =
      (boost::filesystem::path(processPath).parent_path() / "bin" / "isdct").string();
  if (toolPath != m_ToolPath) m_ToolPath = toolPath;

  // The tool's answers are read into locals and installed under m_DataLock,
  // where a running worker reads them.
  uint64_t count = 0;
  {
    LockScope peek(m_DataLock);
    count = m_AdapterCount;
  }
  std::vector<CCmdEmuAdapter> records;
  const uint32_t inventory = TakeInventory(records, count);
  NIMBRA_TRACE(16, kUnitPlugin, "Initialize, CmdEmu_getAdapterCount returned = %d", count);
  if (inventory != 0) {
    NIMBRA_TRACE(16, kUnitPlugin, "Initialize, CmdEmu_getAdapterCount called = %d", inventory);
    {
      LockScope install(m_DataLock);
      m_CmdEmuAdapters = std::move(records);
      m_AdapterCount = count;
      ++m_InventoryGeneration;
    }
    PrintAdapterCount(count);
    NIMBRA_TRACE(2, kUnitPlugin, "LEAVE Initialize() -> PI::ERR_API_INITIALIZATION_FAILED");
    return PI::ERR_API_INITIALIZATION_FAILED;
  }
  std::string version;
  GetVersion(version);

  NIMBRA_TRACE(8, kUnitPlugin, "Before m_DataLock.Wait (sg)");
  LockScope sg(m_DataLock);
  NIMBRA_TRACE(8, kUnitPlugin, "After m_DataLock.Wait (sg)");
  m_CmdEmuAdapters = std::move(records);
  m_AdapterCount = count;
  ++m_InventoryGeneration;
  m_ToolVersion = std::move(version);
  m_Plugin.m_ID = NewID();
  m_Plugin.m_Kind = OBJECT_KIND_PLUGIN;

  const uint32_t scan = ScanSystem(m_Adapters, m_PhysicalDrives, true);
  NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem() ret = %d m_PhysicalDrives=%d", scan,
               m_PhysicalDrives.size());
  uint32_t result = 0;
  if (scan != 0 || m_Adapters.empty()) {
    m_Adapters.clear();
    m_PhysicalDrives.clear();
    ++m_Plugin.m_ChangeCount;
    m_AdapterCount = 0;
    result = PI::ERR_NO_SUPPORTED_HARDWARE;
  } else {
    for (CIntelSSDAdapter& adapter : m_Adapters) {
      PI::CAdapterID id;
      id.m_Segment = adapter.m_PciSegment;
      id.m_Bus = adapter.m_PciBus;
      id.m_Device = adapter.m_PciDevice;
      id.m_Function = adapter.m_PciFunction;
      id.m_Index = adapter.m_Index;
      id.m_HostNumber = PI::CAdapterID::kUnassigned;
      out.push_back(id);
      m_Plugin.AddChild(adapter.m_ID);
      adapter.AddParent(m_Plugin.m_ID);
    }
  }
  PrintAdapterCount(m_Adapters.size());
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE Initialize() -> %d", result);
  return result;
}

uint32_t IPLUGINAPI_IMPL::SetAdapterIDs(const std::vector<PI::CAdapterID>& ids) {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER SetAdapterIDs");
  // A repeated call may race with a running worker, so the adapters and IDs
  // are touched under m_DataLock.
  {
    LockScope sg(m_DataLock);
    m_AdapterIDs.insert(m_AdapterIDs.end(), ids.begin(), ids.end());
    for (CIntelSSDAdapter& adapter : m_Adapters) {
      const ScanRules::PciLocation location{adapter.m_PciSegment, adapter.m_PciBus,
                                            adapter.m_PciDevice, adapter.m_PciFunction};
      ScanRules::AdapterDisplayName(location, CmdEmu::IsAddInCard(adapter.m_ModelNumber),
                                    m_AdapterIDs, adapter.m_DisplayName);
    }
  }
  // One worker pointer: a worker that still runs is kept, one that has ended
  // (after DeInitialize, say) is deleted and a new one started.
  std::lock_guard<std::mutex> worker(m_WorkerLock);
  if (m_WorkerThread && m_WorkerThread->Wait(0) == TLX::Threading::kWaitTimeout) {
    NIMBRA_TRACE(2, kUnitPlugin, "SetAdapterIDs: the worker is still running, none is started");
    return 0;
  }
  m_WorkerThread = std::make_unique<TLX::Threading::CThread>();
  m_WorkerThread->Create(boost::bind(&IPLUGINAPI_IMPL::Worker, this), false);
  return 0;
}

uint32_t IPLUGINAPI_IMPL::DeInitialize() {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER DeInitialize");
  std::lock_guard<std::mutex> worker(m_WorkerLock);
  m_StopRequest.Set();
  TLX::Misc::msleep(m_StopSettleMs);
  const uint64_t start = TLXX::CSystemTime_Lx::Now();
  auto running = [this] {
    return m_WorkerThread && m_WorkerThread->HasNativeThread() &&
           m_WorkerThread->Wait(0) == TLX::Threading::kWaitTimeout;
  };
  while (running()) {
    NIMBRA_TRACE(16, kUnitPlugin, "Wait for termination... (Worker)");
    if (TLXX::CSystemTime_Lx::Now() - start > kDeInitializeGraceMs) break;
    TLX::Misc::msleep(m_StopPollMs);
  }
  if (running()) {
    NIMBRA_TRACE(16, kUnitPlugin, "Kill Worker");
    m_WorkerThread->Cancel();
  }
  TLX::Misc::msleep(m_StopSettleMs);
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE DeInitialize");
  return 0;
}

uint32_t IPLUGINAPI_IMPL::GetTopology(std::vector<PI::CObject>& out) {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER GetTopology");
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_DataLock.Wait (sg)");
  LockScope sg(m_DataLock);
  NIMBRA_TRACE(8, kUnitPlugin, "After m_DataLock.Wait (sg)");
  out.clear();
  if (!sg.Taken()) return PI::ERR_GENERAL;  // not initialized: no lock, no objects yet
  out.reserve(m_Adapters.size() + m_PhysicalDrives.size() + 1);

  out.push_back(m_Plugin);
  GetPluginProperties(m_Plugin, out.back().m_Properties, PI::PROP_ALL);
  GetPluginOperations(m_Plugin, out.back().m_Operations);
  for (CIntelSSDAdapter& adapter : m_Adapters) {
    out.push_back(adapter);
    GetAdapterProperties(adapter, out.back().m_Properties, PI::PROP_ALL);
    GetAdapterOperations(adapter, out.back().m_Operations);
    NIMBRA_TRACE(4, kUnitPlugin, "GetTopology() Adapter m_ID=0x%x", adapter.m_ID);
  }
  NIMBRA_TRACE(4, kUnitPlugin, "GetTopology() m_Adapters = %d", m_Adapters.size());
  for (CIntelSSDPhysicalDrive& drive : m_PhysicalDrives) {
    out.push_back(drive);
    GetPhysicalDriveProperties(drive, out.back().m_Properties, PI::PROP_ALL);
    GetPhysicalDriveOperations(drive, out.back().m_Operations);
    NIMBRA_TRACE(4, kUnitPlugin, "GetTopology() PhysicalDrive m_ID=0x%x", drive.m_ID);
  }
  NIMBRA_TRACE(4, kUnitPlugin, "GetTopology() m_PhysicalDrives = %d", m_PhysicalDrives.size());
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE GetTopology");
  return 0;
}

}  // namespace NAMESPACE_Nimbra
