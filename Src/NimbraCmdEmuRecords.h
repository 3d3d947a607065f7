// Records the command emulation fills from the SSD tool's text: one
// CCmdEmuAdapter per drive of the inventory, with that drive's health values
// in the embedded CCmdEmuGetlog. Plain copyable value types; whoever holds
// them guards them (the plug-in keeps them under its data lock).
#pragma once

#include <cstdint>
#include <string>

namespace NAMESPACE_Nimbra {

// Health values of one drive from log pages 2, 197 and 202.
struct CCmdEmuGetlog {
  uint32_t m_CriticalWarnings = 0;
  int32_t m_SpareBelowThreshold = 0;
  int32_t m_TemperatureExceeded = 0;
  int32_t m_ReliabilityDegraded = 0;
  int32_t m_ReadOnlyMode = 0;
  int32_t m_VolatileBackupFailed = 0;
  int32_t m_AvailableSpare = 100;
  int32_t m_AvailableSpareThreshold = 10;
  int32_t m_PercentageUsed = 0;
  uint64_t m_DataUnitsRead = 0;
  uint64_t m_DataUnitsWritten = 0;
  uint64_t m_PowerOnHours = 0;
  uint64_t m_MediaErrors = 0;
  int32_t m_CurrentTemperature = 10;
  uint64_t m_ThermalThrottleStatus = 100;
  uint64_t m_WearLevelingCount = 0;
};

// One drive as the tool's inventory reports it.
struct CCmdEmuAdapter {
  static constexpr uint32_t kNoDrive = 0xFFFFFFFFu;

  uint64_t m_Number = 0;
  uint32_t m_Index = kNoDrive;
  std::string m_Bootloader;
  std::string m_ControllerDescription;
  bool m_ControllerIDEMode = false;
  std::string m_ControllerManufacturer;
  std::string m_ControllerService;
  std::string m_DevicePath;
  std::string m_DeviceStatus;
  std::string m_DriverDescription;
  std::string m_DriverMajorVersion;
  std::string m_DriverManufacturer;
  std::string m_DriverMinorVersion;
  std::string m_ErrorString;
  std::string m_Firmware;
  uint32_t m_LBAFormat = 0;
  std::string m_ProductFamily;
  uint64_t m_MaximumLBA = 0;
  std::string m_ModelNumber;
  uint64_t m_NativeMaxLBA = 0;
  uint32_t m_NumLBAFormats = 0;
  uint32_t m_NVMePowerState = 0;
  uint64_t m_PhysicalSize = 0;
  std::string m_PowerGovernerMode;
  uint32_t m_SectorSize = 0;
  std::string m_SerialNumber;
  uint32_t m_TempThreshold = 0;
  CCmdEmuGetlog m_Getlog;
};

}  // namespace NAMESPACE_Nimbra
