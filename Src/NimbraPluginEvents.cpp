// Change detection and the event queue: Update of adapters and drives, the
// events they raise, and GetEvents, which hands the queue to the host.
#include "NimbraImpl.h"
#include "NimbraLockScope.h"
#include "NimbraTrace.h"
#include "PI/Status.h"
#include "TLXX/SystemTime.h"

namespace NAMESPACE_Nimbra {

namespace {

PI::CEvent EventAbout(uint64_t objectId, const std::string& name) {
  PI::CEvent e;
  e.m_ObjectID = objectId;
  e.m_Time = TLXX::CSystemTime_Lx::Now();
  e.m_ObjectName = name;
  e.SetPlaceHolder1(name);
  return e;
}

void Append(std::vector<PI::CEvent>& events, const PI::CEvent& base, uint32_t id,
            uint32_t severity) {
  events.push_back(base);
  events.back().m_EventID = id;
  events.back().m_Severity = severity;
}

// Warning bits that raise an event when newly set, in the order they are
// reported (the spare bit 0x01 comes last).
struct WarningEvent {
  uint32_t bit;
  uint32_t event;
  uint32_t severity;
};
constexpr WarningEvent kWarningEvents[] = {
    {0x10, EVT_BACKUP_FAILED, SEVERITY_ERROR},
    {0x04, EVT_RELIABILITY_DEGRADED, SEVERITY_WARNING},
    {0x40, EVT_TEMP_80_TO_83, SEVERITY_ERROR},
    {0x80, EVT_TEMP_84_UP, SEVERITY_ERROR},
    {0x20, EVT_TEMP_78_TO_79, SEVERITY_WARNING},
    {0x200, EVT_TEMP_80_UP, SEVERITY_WARNING},
    {0x01, EVT_SPARE_BELOW_THRESHOLD, SEVERITY_ERROR},
};

}  // namespace

PI::CEvent AdapterEvent(const CIntelSSDAdapter& adapter, uint32_t id, uint32_t severity) {
  PI::CEvent e = EventAbout(adapter.m_ID, adapter.m_DisplayName);
  e.m_EventID = id;
  e.m_Severity = severity;
  return e;
}

void CIntelSSDAdapter::Update(const CIntelSSDAdapter& scanned, std::vector<PI::CEvent>& events) {
  const PI::CEvent base = EventAbout(m_ID, m_DisplayName);
  const uint32_t o = m_CriticalWarnings;
  const uint32_t n = scanned.m_CriticalWarnings;
  NIMBRA_TRACE(2, kUnitPlugin, "Update () %x -> %x", o, n);
  if (o != n) {
    for (const WarningEvent& w : kWarningEvents) {
      if ((o & w.bit) == 0 && (n & w.bit) != 0) Append(events, base, w.event, w.severity);
    }
    if (o != 0 && n == 0) Append(events, base, EVT_WARNINGS_CLEARED, SEVERITY_INFO);
  }
  ++m_ChangeCount;
  Copy(scanned);
}

void CIntelSSDPhysicalDrive::Update(const CIntelSSDPhysicalDrive& scanned,
                                    const CIntelSSDAdapter& adapter,
                                    std::vector<PI::CEvent>& events) {
  PI::CEvent base = EventAbout(m_ID, m_DisplayName);
  base.SetPlaceHolder1(adapter.m_DisplayName);
  base.SetPlaceHolder2(m_DisplayName);
  if (m_UsedSize != scanned.m_UsedSize || m_SectorSize != scanned.m_SectorSize) {
    Append(events, base, EVT_DRIVE_SIZE_CHANGED, SEVERITY_INFO);
  }
  ++m_ChangeCount;
  Copy(scanned);
}

uint32_t IPLUGINAPI_IMPL::GetEvents(CIntelSSDPlugin&, PI::COperation& operation) {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER GetEvents()");
  operation.ClearEvents();
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_EventsLock.Wait(INFINITE)");
  LockScope sg(m_EventsLock);
  NIMBRA_TRACE(8, kUnitPlugin, "After m_EventsLock.Wait(INFINITE)");
  if (!sg.Taken()) return 0;  // the queue stays for the next fetch
  for (const PI::CEvent& e : m_Events) {
    NIMBRA_TRACE(4, kUnitPlugin, "GetEvents() found event %d", e.m_EventID);
    operation.AddEvent(e);
  }
  m_Events.clear();
  NIMBRA_TRACE(8, kUnitPlugin, "Before m_EventsLock.Release()");
  sg.Release();
  NIMBRA_TRACE(8, kUnitPlugin, "After m_EventsLock.Release()");
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE GetEvents() -> %d", 0);
  return 0;
}

uint32_t IPLUGINAPI_IMPL::ExecutePluginOperation(CIntelSSDPlugin& plugin,
                                                 PI::COperation& operation) {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER ExecutePluginOperation()");
  const uint32_t rc = operation.id == OP_GET_EVENTS ? GetEvents(plugin, operation)
                                                    : PI::ERR_OPERATION_NOT_SUPPORTED;
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE ExecutePluginOperation() -> %d", rc);
  return rc;
}

}  // namespace NAMESPACE_Nimbra
