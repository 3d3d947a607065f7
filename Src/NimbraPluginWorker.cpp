// The monitoring worker and the update cycle: health refresh in place on the
// poll interval, full rescans when needed, merging of old and new objects
// by serial number, events and host notification.
#include <algorithm>

#include "NimbraCmdEmuParse.h"
#include "NimbraImpl.h"
#include "NimbraLockScope.h"
#include "NimbraScanRules.h"
#include "NimbraTrace.h"
#include "PI/Status.h"
#include "TLX/Misc.h"
#include "TLX/Waiter.h"
#include "TLXX/SystemTime.h"

namespace NAMESPACE_Nimbra {

namespace {

constexpr unsigned kFirstWaitMs = 100;
constexpr uint64_t kFullScanAgeMs = 300000;

constexpr int kForceWorker = 1;
constexpr int kPrivateEvent = 3;

template <class T>
bool Contains(const std::vector<T>& values, const T& value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

uint32_t IPLUGINAPI_IMPL::UpdateSystem(std::vector<CIntelSSDAdapter>& adapters,
                                       std::vector<CIntelSSDPhysicalDrive>& drives) {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER UpdateSystem for %d adapter, %d physicalDrives",
               adapters.size(), drives.size());
  uint32_t ret = PI::ERR_GENERAL;
  std::vector<PI::CEvent> events;

  // Serial-number indexes keep each pass linear in the number of drives.
  const SerialIndex<CIntelSSDAdapter> scannedAdapters(adapters);
  for (size_t i = 0; i < m_Adapters.size();) {
    CIntelSSDAdapter& live = m_Adapters[i];
    if (const CIntelSSDAdapter* scanned = scannedAdapters.Find(adapters, live.m_SerialNumber)) {
      if (live.Differs(*scanned)) {
        live.Update(*scanned, events);
        ret = 0;
      }
      ++i;
      continue;
    }
    events.push_back(AdapterEvent(live, EVT_ADAPTER_REMOVED, SEVERITY_WARNING));
    m_Adapters.erase(m_Adapters.begin() + static_cast<std::ptrdiff_t>(i));
    ++m_Plugin.m_ChangeCount;
    ret = 0;
  }

  SerialIndex<CIntelSSDAdapter> liveAdapters(m_Adapters);
  for (CIntelSSDAdapter& scanned : adapters) {
    if (liveAdapters.Find(m_Adapters, scanned.m_SerialNumber) != nullptr) continue;
    scanned.m_Kind = OBJECT_KIND_ADAPTER;
    liveAdapters.Add(scanned.m_SerialNumber, m_Adapters.size());
    m_Adapters.push_back(scanned);
    ++m_Plugin.m_ChangeCount;
    events.push_back(AdapterEvent(scanned, EVT_ADAPTER_ADDED, SEVERITY_INFO));
    ret = 0;
  }

  // m_Adapters is not changed from here on.
  const SerialIndex<CIntelSSDPhysicalDrive> scannedDrives(drives);
  for (size_t i = 0; i < m_PhysicalDrives.size();) {
    CIntelSSDPhysicalDrive& live = m_PhysicalDrives[i];
    if (const CIntelSSDPhysicalDrive* scanned = scannedDrives.Find(drives, live.m_SerialNumber)) {
      if (live.Differs(*scanned)) {
        // Every scan yields adapter and drive in pairs of one serial number,
        // so the live adapter exists after the adapter pass.
        if (const CIntelSSDAdapter* adapter = liveAdapters.Find(m_Adapters, live.m_SerialNumber)) {
          live.Update(*scanned, *adapter, events);
        } else {
          live.Update(*scanned, CIntelSSDAdapter(), events);
        }
        ret = 0;
      }
      ++i;
      continue;
    }
    for (CIntelSSDAdapter& adapter : m_Adapters) {
      if (adapter.m_SerialNumber != live.m_SerialNumber) continue;
      auto& children = adapter.m_Children;
      for (auto it = children.begin(); it != children.end();) {
        if (*it == live.m_ID) {
          it = children.erase(it);
          ++adapter.m_ChangeCount;
        } else {
          ++it;
        }
      }
    }
    m_PhysicalDrives.erase(m_PhysicalDrives.begin() + static_cast<std::ptrdiff_t>(i));
    ret = 0;
  }

  SerialIndex<CIntelSSDPhysicalDrive> liveDrives(m_PhysicalDrives);
  for (CIntelSSDPhysicalDrive& scanned : drives) {
    if (liveDrives.Find(m_PhysicalDrives, scanned.m_SerialNumber) != nullptr) continue;
    scanned.m_Kind = OBJECT_KIND_PHYSICAL_DRIVE;
    if (CIntelSSDAdapter* adapter = liveAdapters.Find(m_Adapters, scanned.m_SerialNumber)) {
      if (!Contains(adapter->m_Children, scanned.m_ID)) adapter->AddChild(scanned.m_ID);
      if (!Contains(scanned.m_Parents, adapter->m_ID)) scanned.AddParent(adapter->m_ID);
      ++adapter->m_ChangeCount;
    }
    liveDrives.Add(scanned.m_SerialNumber, m_PhysicalDrives.size());
    m_PhysicalDrives.push_back(scanned);
    ret = 0;
  }

  if (!events.empty()) AppendEvents(events);
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE UpdateSystem ret = %d", ret);
  return ret;
}

void IPLUGINAPI_IMPL::AppendEvents(const std::vector<PI::CEvent>& events) {
  TLX::Threading::Native_OS::CSyncGuard sg;
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_EventsLock.Wait (sg)");
  m_EventsLock.Wait(&sg, TLX::Threading::kInfinite);
  NIMBRA_TRACE(8, kUnitPlugin, "After m_EventsLock.Wait (sg)");
  m_Events.insert(m_Events.end(), events.begin(), events.end());
}

bool IPLUGINAPI_IMPL::WorkerTakesData() {
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_DataLock.Wait(INFINITE)");
  const int locked = m_DataLock.Wait(&m_CycleData, TLX::Threading::kInfinite);
  NIMBRA_TRACE(8, kUnitPlugin, "After m_DataLock.Wait(INFINITE)");
  return locked == 1;
}

void IPLUGINAPI_IMPL::WorkerReleasesData() {
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_DataLock.Release ()");
  m_CycleData.Release();
  NIMBRA_TRACE(8, kUnitPlugin, "After m_DataLock.Release ()");
}

void IPLUGINAPI_IMPL::Worker() {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER Worker()");
  // The cycles hold m_DataLock through m_CycleData; a cancellation of the
  // thread in the middle of a tool run unwinds through here and lets go.
  struct LetGo {
    TLX::Threading::Native_OS::CSyncGuard& guard;
    ~LetGo() { guard.Release(); }
  } letGo{m_CycleData};
  TLX::Threading::CWaitInterval interval(kFirstWaitMs);
  TLX::Threading::CWaiter waiter;
  waiter << m_ForceWorker << m_StopRequest << m_PrivateEvent;
  uint64_t lastFullScan = TLXX::CSystemTime_Lx::Now();
  bool fullScanDue = true;
  // A completed full scan resets the age; one that changed nothing because it
  // could not complete is tried again at the next cycle.
  auto scanned = [&](bool done) {
    if (done) lastFullScan = TLXX::CSystemTime_Lx::Now();
    fullScanDue = !done;
  };

  for (;;) {
    const int result = waiter.Wait(interval.Remaining(), false);
    if (result == kPrivateEvent) {
      NIMBRA_TRACE(4, kUnitPlugin, "Worker() m_PrivateEvent event received");
      {
        LockScope sg(m_DataLock);
        if (sg.Taken()) UnlockObjects();
      }
      m_HostNotify(this);
    } else {
      if (result == TLX::Threading::kWaitTimeout) {
        NIMBRA_TRACE(4, kUnitPlugin, "Worker() timeout event received");
        if (!fullScanDue) fullScanDue = TLXX::CSystemTime_Lx::Now() - lastFullScan > kFullScanAgeMs;
      } else if (result == kForceWorker) {
        NIMBRA_TRACE(4, kUnitPlugin, "Worker() m_ForceWorker event received, force scan");
        fullScanDue = true;
      } else {
        NIMBRA_TRACE(4, kUnitPlugin, "Worker() something else perhaps m_StopRequest");
        NIMBRA_TRACE(2, kUnitPlugin, "LEAVE Worker()");
        return;
      }
      // Each branch leaves m_DataLock released: RefreshHealth and FullScan
      // let go of it themselves. A refresh that found a changed warning word
      // takes it again and scans in the same cycle, unless a stop came.
      if (WorkerTakesData()) {
        if (fullScanDue) {
          scanned(FullScan());
        } else if (RefreshHealth() && !m_StopRequest.IsSet()) {
          if (WorkerTakesData()) scanned(FullScan());
        }
      }
    }
    NIMBRA_TRACE(2, kUnitPlugin, "Worker() before restart interval");
    // A host that sent back limits below 2 s could ask for 0 s: never spin.
    interval.Restart(std::max(1u, m_PollInterval.load()) * 1000);
  }
}

bool IPLUGINAPI_IMPL::RefreshHealth() {
  // What each health read needs, copied from the records under the lock.
  struct Read {
    uint32_t index;
    bool addInCard;
    CCmdEmuGetlog log;
  };
  std::vector<Read> reads;
  reads.reserve(m_CmdEmuAdapters.size());
  for (const CCmdEmuAdapter& r : m_CmdEmuAdapters) {
    reads.push_back({r.m_Index, CmdEmu::IsAddInCard(r.m_ModelNumber), r.m_Getlog});
  }
  const uint64_t generation = m_InventoryGeneration;
  WorkerReleasesData();

  bool needRescan = false;
  for (size_t i = 0; i < reads.size(); ++i) {
    if (m_StopRequest.IsSet()) break;
    Read& read = reads[i];
    NIMBRA_TRACE(16, kUnitPlugin, "Worker GetLogPageInformation()");
    const uint32_t rc = GetLogPageInformation(read.index, read.log, read.addInCard);
    if (!WorkerTakesData()) break;
    // Records replaced by Initialize meanwhile: what is left is stale.
    if (generation != m_InventoryGeneration) {
      WorkerReleasesData();
      break;
    }
    // The record keeps what the read stored, also the pages of a read that
    // failed part way. Its values go to the adapter and the drive with its
    // serial number: positions and tool indices need not match the tree's
    // order (a drive that left and came back stands at the end of it).
    CCmdEmuAdapter& record = m_CmdEmuAdapters[i];
    record.m_Getlog = read.log;
    CIntelSSDAdapter* a = rc == 0 ? FindBySerial(m_Adapters, record.m_SerialNumber) : nullptr;
    if (a != nullptr) {
      const CCmdEmuGetlog& log = record.m_Getlog;
      if (a->m_CriticalWarnings == log.m_CriticalWarnings) {
        a->m_Temperature = static_cast<float>(log.m_CurrentTemperature);
        a->m_PowerOnHours = log.m_PowerOnHours;
        a->m_ReserveSpace = static_cast<uint32_t>(log.m_AvailableSpare);
        a->m_DataUnitsRead = log.m_DataUnitsRead;
        a->m_DataUnitsWritten = log.m_DataUnitsWritten;
        a->m_MediaErrors = log.m_MediaErrors;
        if (CIntelSSDPhysicalDrive* d = FindBySerial(m_PhysicalDrives, a->m_SerialNumber)) {
          d->m_Temperature = a->m_Temperature;
        }
      } else {
        needRescan = true;
      }
    }
    WorkerReleasesData();
    // The pause spaces the tool runs; a stop request ends it at once.
    if (m_HealthReadPauseMs != 0 && m_StopRequest.Wait(m_HealthReadPauseMs) == 1) break;
  }
  return needRescan;
}

bool IPLUGINAPI_IMPL::FullScan() {
  // What the scan reads of the tree, copied under the lock: the identities of
  // adapters and drives (their IDs are kept by serial number) and the host's
  // adapter numbers.
  std::vector<CIntelSSDAdapter> knownAdapters(m_Adapters.size());
  for (size_t i = 0; i < m_Adapters.size(); ++i) {
    knownAdapters[i].m_ID = m_Adapters[i].m_ID;
    knownAdapters[i].m_ChangeCount = m_Adapters[i].m_ChangeCount;
    knownAdapters[i].m_SerialNumber = m_Adapters[i].m_SerialNumber;
  }
  std::vector<CIntelSSDPhysicalDrive> knownDrives(m_PhysicalDrives.size());
  for (size_t i = 0; i < m_PhysicalDrives.size(); ++i) {
    knownDrives[i].m_ID = m_PhysicalDrives[i].m_ID;
    knownDrives[i].m_ChangeCount = m_PhysicalDrives[i].m_ChangeCount;
    knownDrives[i].m_SerialNumber = m_PhysicalDrives[i].m_SerialNumber;
  }
  const std::vector<PI::CAdapterID> adapterIDs = m_AdapterIDs;
  const uint64_t generation = m_InventoryGeneration;
  uint64_t count = m_AdapterCount;
  WorkerReleasesData();

  // A tool that could not be run, was stopped at its time limit or printed
  // nothing says nothing about the drives: the tree stays as it is and the
  // next cycle tries again. "No results" and an inventory without a
  // supported drive do empty it.
  std::vector<CCmdEmuAdapter> records;
  const uint32_t inventory = TakeInventory(records, count);
  if (inventory == PI::ERR_TOOL_FAILED) {
    NIMBRA_TRACE(16, kUnitPlugin, "Full scan: no inventory (%d), nothing changed", inventory);
    return false;
  }
  std::vector<CIntelSSDAdapter> adapters;
  std::vector<CIntelSSDPhysicalDrive> drives;
  NIMBRA_TRACE(16, kUnitPlugin, "Before ScanSystem()");
  const ScanBasis basis{knownAdapters, knownDrives, adapterIDs};
  if (!ScanRecords(records, count, basis, adapters, drives, false, &m_StopRequest)) return false;
  uint32_t rc = 0;
  NIMBRA_TRACE(16, kUnitPlugin, "After ScanSystem() ret = %d", rc);

  if (!WorkerTakesData()) return false;
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_EventsLock.Wait(INFINITE)");
  LockScope eventsGuard(m_EventsLock);
  NIMBRA_TRACE(8, kUnitPlugin, "After m_EventsLock.Wait(INFINITE)");
  if (!eventsGuard.Taken()) {
    eventsGuard.Release();
    WorkerReleasesData();
    return false;
  }
  if (generation != m_InventoryGeneration) {
    NIMBRA_TRACE(16, kUnitPlugin, "Full scan: the records were replaced meanwhile, not applied");
    eventsGuard.Release();
    WorkerReleasesData();
    return false;
  }
  m_CmdEmuAdapters = std::move(records);
  m_AdapterCount = count;
  ++m_InventoryGeneration;
  // SetAdapterIDs may have added host numbers since they were copied.
  if (m_AdapterIDs.size() != adapterIDs.size()) {
    for (CIntelSSDAdapter& a : adapters) {
      const ScanRules::PciLocation location{a.m_PciSegment, a.m_PciBus, a.m_PciDevice,
                                            a.m_PciFunction};
      ScanRules::AdapterDisplayName(location, CmdEmu::IsAddInCard(a.m_ModelNumber), m_AdapterIDs,
                                    a.m_DisplayName);
    }
  }

  NIMBRA_TRACE(16, kUnitPlugin, "Before UpdateSystem()");
  rc = UpdateSystem(adapters, drives);
  NIMBRA_TRACE(16, kUnitPlugin, "After UpdateSystem() ret = %d", rc);
  m_Plugin.m_Children.clear();
  for (CIntelSSDAdapter& adapter : m_Adapters) {
    adapter.m_Parents.clear();
    adapter.AddParent(m_Plugin.m_ID);
    m_Plugin.AddChild(adapter.m_ID);
    ++adapter.m_ChangeCount;
  }
  ++m_Plugin.m_ChangeCount;
  NIMBRA_TRACE(4, kUnitPlugin, "Worker() after bscan");
  const size_t waiting = m_Events.size();
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_EventsLock.Release ()");
  eventsGuard.Release();
  NIMBRA_TRACE(8, kUnitPlugin, "After m_EventsLock.Release ()");
  const bool notify = waiting != 0 || rc == 0;
  if (notify) UnlockObjects();
  WorkerReleasesData();
  if (notify) m_HostNotify(this);
  return true;
}

}  // namespace NAMESPACE_Nimbra
