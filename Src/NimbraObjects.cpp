#include "NimbraObjects.h"

namespace NAMESPACE_Nimbra {

void CIntelSSDAdapter::Copy(const CIntelSSDAdapter& o) {
  m_Index = o.m_Index;
  m_SerialNumber = o.m_SerialNumber;
  m_Vendor = o.m_Vendor;
  m_ModelNumber = o.m_ModelNumber;
  m_DisplayName = o.m_DisplayName;
  m_Location = o.m_Location;
  m_DriverName = o.m_DriverName;
  m_DriverVersion = o.m_DriverVersion;
  m_Firmware = o.m_Firmware;
  m_Bootloader = o.m_Bootloader;
  m_DevicePath = o.m_DevicePath;
  m_PciSegment = o.m_PciSegment;
  m_PciBus = o.m_PciBus;
  m_PciDevice = o.m_PciDevice;
  m_PciFunction = o.m_PciFunction;
  m_CriticalWarnings = o.m_CriticalWarnings;
  m_WearLevelingCount = o.m_WearLevelingCount;
  m_MediaErrors = o.m_MediaErrors;
  m_ThermalThrottleStatus = o.m_ThermalThrottleStatus;
  m_Temperature = o.m_Temperature;
  m_DataUnitsRead = o.m_DataUnitsRead;
  m_DataUnitsWritten = o.m_DataUnitsWritten;
  m_PowerOnHours = o.m_PowerOnHours;
  m_RatedEndurance = o.m_RatedEndurance;
  m_ReserveSpace = o.m_ReserveSpace;
  m_WarningThreshold = o.m_WarningThreshold;
  m_HealthState = o.m_HealthState;
  m_ThrottleState = o.m_ThrottleState;
  m_SpareState = o.m_SpareState;
  m_HealthReasons = o.m_HealthReasons;
  m_ScanFlag = o.m_ScanFlag;
  m_ModelNumberCopy = o.m_ModelNumberCopy;
}

void CIntelSSDPhysicalDrive::Copy(const CIntelSSDPhysicalDrive& o) {
  m_AdapterIndex = o.m_AdapterIndex;
  m_SerialNumber = o.m_SerialNumber;
  m_Vendor = o.m_Vendor;
  m_ModelNumber = o.m_ModelNumber;
  m_DisplayName = o.m_DisplayName;
  m_Location = o.m_Location;
  m_DevicePath = o.m_DevicePath;
  m_State = o.m_State;
  m_SectorSize = o.m_SectorSize;
  m_Temperature = o.m_Temperature;
  m_PhysicalSize = o.m_PhysicalSize;
  m_Capacity = o.m_Capacity;
  m_UsedSize = o.m_UsedSize;
  m_UsedPercent = o.m_UsedPercent;
}

}  // namespace NAMESPACE_Nimbra
