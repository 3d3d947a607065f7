// ScanSystem: one adapter and one drive per inventory record, linked to each
// other, with identity kept by serial number across scans.
#include <string>

#include "NimbraCmdEmuParse.h"
#include "NimbraImpl.h"
#include "NimbraScanRules.h"
#include "NimbraTrace.h"
#include "TLXX/ConfigManager.h"
#include "TLXX/System.h"

namespace NAMESPACE_Nimbra {

uint32_t IPLUGINAPI_IMPL::ScanSystem(std::vector<CIntelSSDAdapter>& adapters,
                                     std::vector<CIntelSSDPhysicalDrive>& drives, bool firstScan) {
  const ScanBasis basis{m_Adapters, m_PhysicalDrives, m_AdapterIDs};
  ScanRecords(m_CmdEmuAdapters, m_AdapterCount, basis, adapters, drives, firstScan, nullptr);
  return 0;
}

bool IPLUGINAPI_IMPL::ScanRecords(std::vector<CCmdEmuAdapter>& records, uint64_t adapterCount,
                                  const ScanBasis& basis, std::vector<CIntelSSDAdapter>& adapters,
                                  std::vector<CIntelSSDPhysicalDrive>& drives, bool firstScan,
                                  TLX::Threading::CEvent* stop) {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER ScanSystem(%d) PhyDrive=%d", firstScan ? 1 : 0,
               drives.size());
  NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem, AdapterCount = %d", adapterCount);
  adapters.clear();
  drives.clear();
  // On the first scan the output vectors are the live ones: nothing is known.
  const std::vector<CIntelSSDAdapter> none;
  const std::vector<CIntelSSDPhysicalDrive> noDrives;
  const SerialIndex<CIntelSSDAdapter> knownAdapters(firstScan ? none : basis.adapters);
  const SerialIndex<CIntelSSDPhysicalDrive> knownDrives(firstScan ? noDrives : basis.drives);
  // The driver's version is the same for every drive: read once per scan.
  std::string moduleVersion;
  if (!records.empty()) TLXX::CSystem::GetModuleVersion("nvme", moduleVersion);
  for (size_t i = 0; i < records.size(); ++i) {
    if (stop != nullptr && stop->IsSet()) {
      NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem: stop requested at record %d of %d", i,
                   records.size());
      return false;
    }
    CCmdEmuAdapter& r = records[i];
    const bool addInCard = CmdEmu::IsAddInCard(r.m_ModelNumber);
    if (!firstScan) {
      // On failure the record keeps the health values it already has.
      GetLogPageInformation(r.m_Index, r.m_Getlog, addInCard);
    }
    CIntelSSDAdapter a;
    CIntelSSDPhysicalDrive d;
    a.m_Kind = OBJECT_KIND_ADAPTER;
    d.m_Kind = OBJECT_KIND_PHYSICAL_DRIVE;
    a.m_Index = r.m_Index;
    a.m_Vendor = "Intel";
    a.m_DevicePath = r.m_DevicePath;
    d.m_DevicePath = r.m_DevicePath;

    const CIntelSSDAdapter* known = knownAdapters.Find(basis.adapters, r.m_SerialNumber);
    if (known != nullptr) {
      a.m_ID = known->m_ID;
      a.m_ChangeCount = known->m_ChangeCount;
    } else {
      a.m_ID = NewID();
    }

    ScanRules::PciLocation location;
    int segment = 0, bus = 0, device = 0, function = 0;
    if (TLXX::CConfigManager::GetLocation("8086", "0953", static_cast<int>(i + 1), segment, bus,
                                          device, function)) {
      ScanRules::RecordLookup(location, segment, bus, device, function);
    }
    a.m_PciSegment = location.segment;
    a.m_PciBus = location.bus;
    a.m_PciDevice = location.device;
    a.m_PciFunction = location.function;
    a.m_Location = ScanRules::LocationText(location, false);
    d.m_Location = ScanRules::LocationText(location, true);

    a.m_SerialNumber = r.m_SerialNumber;
    a.m_Firmware = r.m_Firmware;
    a.m_Bootloader = r.m_Bootloader;
    a.m_DriverName = "nvme";
    a.m_DriverVersion =
        ScanRules::DriverVersion(moduleVersion, r.m_DriverMajorVersion, r.m_DriverMinorVersion);

    const CCmdEmuGetlog& log = r.m_Getlog;
    a.m_Temperature = static_cast<float>(log.m_CurrentTemperature);
    a.m_MediaErrors = log.m_MediaErrors;
    a.m_CriticalWarnings = log.m_CriticalWarnings;
    a.m_ThermalThrottleStatus = log.m_ThermalThrottleStatus;
    a.m_WearLevelingCount = static_cast<uint32_t>(log.m_WearLevelingCount);
    ScanRules::Health health = ScanRules::AssessHealth(log);
    a.m_HealthState = health.state;
    a.m_HealthReasons = std::move(health.reasons);
    a.m_ThrottleState = ScanRules::ThrottleState(log.m_ThermalThrottleStatus, log.m_ReadOnlyMode);
    a.m_ModelNumber = r.m_ModelNumber;
    a.m_ModelNumberCopy = r.m_ModelNumber;

    ScanRules::AdapterDisplayName(location, addInCard, basis.adapterIDs, a.m_DisplayName);

    a.m_DataUnitsRead = log.m_DataUnitsRead;
    a.m_DataUnitsWritten = log.m_DataUnitsWritten;
    a.m_PowerOnHours = log.m_PowerOnHours;
    a.m_ReserveSpace = static_cast<uint32_t>(log.m_AvailableSpare);
    a.m_WarningThreshold = static_cast<uint32_t>(log.m_AvailableSpareThreshold);
    NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem, DataUnitsRead = %d", a.m_DataUnitsRead);
    NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem, DataUnitsWritten = %d", a.m_DataUnitsWritten);
    NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem, PowerOnHours = %d", a.m_PowerOnHours);
    NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem, ReserveSpace = %d", a.m_ReserveSpace);
    NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem, WarningThreshold = %d", a.m_WarningThreshold);

    const ScanRules::DriveSizes sizes = ScanRules::ComputeSizes(r);
    d.m_SectorSize = sizes.sectorSize;
    d.m_SerialNumber = r.m_SerialNumber;
    d.m_Temperature = a.m_Temperature;
    d.m_PhysicalSize = sizes.physicalMiB;
    NIMBRA_TRACE(16, kUnitPlugin, "ScanSystem, PhysicalSize = %d", d.m_PhysicalSize);
    d.m_Capacity = sizes.capacityMiB;
    d.m_UsedSize = sizes.usedMiB;
    d.m_UsedPercent = sizes.usedPercent;

    d.m_Vendor = "Intel";
    d.m_AdapterIndex = a.m_Index;
    d.m_ModelNumber = r.m_ModelNumber;
    const ScanRules::CapacityClass capacity = ScanRules::Classify(d.m_Capacity, addInCard);
    d.m_DisplayName = capacity.driveName;
    a.m_RatedEndurance = capacity.ratedEnduranceTB;

    const CIntelSSDPhysicalDrive* knownDrive = knownDrives.Find(basis.drives, r.m_SerialNumber);
    if (firstScan) {
      d.m_ID = NewID();
    } else if (knownDrive != nullptr) {
      d.m_ID = knownDrive->m_ID;
      d.m_ChangeCount = knownDrive->m_ChangeCount;
    } else {
      d.m_ID = NewID();
      NIMBRA_TRACE(2, kUnitPlugin, "The drive is not found yet!");
    }

    d.m_State = (a.m_HealthState == HEALTH_GOOD || a.m_HealthState == HEALTH_DEGRADED)
                    ? DRIVE_STATE_OK
                    : HEALTH_FAILED;
    a.AddChild(d.m_ID);
    d.AddParent(a.m_ID);
    adapters.push_back(std::move(a));
    drives.push_back(std::move(d));
  }
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE ScanSystem() -> %d", 0);
  return true;
}

}  // namespace NAMESPACE_Nimbra
