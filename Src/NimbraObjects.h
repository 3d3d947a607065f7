// The managed objects the host sees: the plug-in object, one adapter per SSD
// controller and one physical drive per drive. Value types derived from the
// host's PI::CObject and held by value in the plug-in's vectors; copying one
// copies every member. No locking of their own: the plug-in reads and writes
// them only under its data lock.
#pragma once

#include <cstdint>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "NimbraCodes.h"
#include "PI/Records.h"

namespace NAMESPACE_Nimbra {

class CIntelSSDPlugin : public PI::CObject {
 public:
  CIntelSSDPlugin() = default;
  CIntelSSDPlugin(const CIntelSSDPlugin&) = default;
  CIntelSSDPlugin& operator=(const CIntelSSDPlugin&) = default;
  ~CIntelSSDPlugin() override = default;
};

// One NVMe controller. Members start at the values a fresh scan starts from.
class CIntelSSDAdapter : public PI::CObject {
 public:
  static constexpr uint64_t kUnset = ~uint64_t{0};

  CIntelSSDAdapter() = default;
  CIntelSSDAdapter(const CIntelSSDAdapter&) = default;
  CIntelSSDAdapter& operator=(const CIntelSSDAdapter&) = default;
  ~CIntelSSDAdapter() override = default;

  // Copies every adapter member of `other` (not the PI::CObject part: ID,
  // kind, change counter, links and lock flag stay).
  void Copy(const CIntelSSDAdapter& other);
  // True when any adapter member differs (the merge's test for an update).
  bool Differs(const CIntelSSDAdapter& other) const;

  // Takes over the values of a newly scanned copy of this adapter: appends
  // the events its critical-warning transitions call for to `events`, adds 1
  // to the change counter and copies every adapter member.
  void Update(const CIntelSSDAdapter& scanned, std::vector<PI::CEvent>& events);

  uint32_t m_Index = 0;
  std::string m_SerialNumber;
  std::string m_Vendor;
  std::string m_ModelNumber;
  std::string m_DisplayName;
  std::string m_Location;
  std::string m_DriverName;
  std::string m_DriverVersion;
  std::string m_Firmware;
  std::string m_Bootloader;
  std::string m_DevicePath;
  uint32_t m_PciSegment = 0;
  uint32_t m_PciBus = 0;
  uint32_t m_PciDevice = 0;
  uint32_t m_PciFunction = 0;
  uint32_t m_CriticalWarnings = 0;
  uint32_t m_WearLevelingCount = 0;
  uint64_t m_MediaErrors = 0;
  uint64_t m_ThermalThrottleStatus = 100;
  float m_Temperature = -1.0f;
  uint64_t m_DataUnitsRead = kUnset;
  uint64_t m_DataUnitsWritten = kUnset;
  uint64_t m_PowerOnHours = kUnset;
  uint64_t m_RatedEndurance = kUnset;
  uint32_t m_ReserveSpace = 100;
  uint32_t m_WarningThreshold = 10;
  uint32_t m_HealthState = 0;
  uint32_t m_ThrottleState = 0;
  uint32_t m_SpareState = SPARE_STATE_DEFAULT;
  std::vector<uint32_t> m_HealthReasons;
  uint8_t m_ScanFlag = 0;
  std::string m_ModelNumberCopy;

 private:
  // Every adapter member, once: what Copy takes over and Differs compares.
  template <class Self>
  static auto Members(Self& a) {
    return std::tie(a.m_Index, a.m_SerialNumber, a.m_Vendor, a.m_ModelNumber, a.m_DisplayName,
                    a.m_Location, a.m_DriverName, a.m_DriverVersion, a.m_Firmware, a.m_Bootloader,
                    a.m_DevicePath, a.m_PciSegment, a.m_PciBus, a.m_PciDevice, a.m_PciFunction,
                    a.m_CriticalWarnings, a.m_WearLevelingCount, a.m_MediaErrors,
                    a.m_ThermalThrottleStatus, a.m_Temperature, a.m_DataUnitsRead,
                    a.m_DataUnitsWritten, a.m_PowerOnHours, a.m_RatedEndurance, a.m_ReserveSpace,
                    a.m_WarningThreshold, a.m_HealthState, a.m_ThrottleState, a.m_SpareState,
                    a.m_HealthReasons, a.m_ScanFlag, a.m_ModelNumberCopy);
  }
};

// One drive behind an adapter.
class CIntelSSDPhysicalDrive : public PI::CObject {
 public:
  CIntelSSDPhysicalDrive() = default;
  CIntelSSDPhysicalDrive(const CIntelSSDPhysicalDrive&) = default;
  CIntelSSDPhysicalDrive& operator=(const CIntelSSDPhysicalDrive&) = default;
  ~CIntelSSDPhysicalDrive() override = default;

  // Copies every drive member of `other` (not the PI::CObject part).
  void Copy(const CIntelSSDPhysicalDrive& other);
  // True when any drive member differs. The serial number is among them; the
  // merge compares drives of one serial number only.
  bool Differs(const CIntelSSDPhysicalDrive& other) const;

  // Takes over the values of a newly scanned copy of this drive, whose live
  // adapter is `adapter`: a size-changed event when the used size or the
  // sector size differ, 1 more on the change counter, every drive member.
  void Update(const CIntelSSDPhysicalDrive& scanned, const CIntelSSDAdapter& adapter,
              std::vector<PI::CEvent>& events);

  uint32_t m_AdapterIndex = 0xFFFFFFFFu;
  std::string m_SerialNumber;
  std::string m_Vendor;
  std::string m_ModelNumber;
  std::string m_DisplayName;
  std::string m_Location;
  std::string m_DevicePath;
  uint32_t m_State = DRIVE_STATE_OK;
  uint32_t m_SectorSize = 0;
  float m_Temperature = -1.0f;
  uint64_t m_PhysicalSize = 0;
  uint64_t m_Capacity = 0;
  uint64_t m_UsedSize = 0;
  uint64_t m_UsedPercent = 0;

 private:
  // Every drive member, once: what Copy takes over and Differs compares.
  template <class Self>
  static auto Members(Self& d) {
    return std::tie(d.m_AdapterIndex, d.m_SerialNumber, d.m_Vendor, d.m_ModelNumber,
                    d.m_DisplayName, d.m_Location, d.m_DevicePath, d.m_State, d.m_SectorSize,
                    d.m_Temperature, d.m_PhysicalSize, d.m_Capacity, d.m_UsedSize, d.m_UsedPercent);
  }
};

// The first object of `objects` with the serial number `serial`, or null.
// Adapters and drives are matched across scans by serial number alone.
template <class T>
T* FindBySerial(std::vector<T>& objects, const std::string& serial) {
  for (T& object : objects) {
    if (object.m_SerialNumber == serial) return &object;
  }
  return nullptr;
}

// The objects of one vector by serial number, for merges of N objects
// against N: the first object of each serial number, as FindBySerial finds
// it. Holds positions, not pointers: valid while the vector is only appended
// to (Add the new object), not after an erase.
template <class T>
class SerialIndex {
 public:
  explicit SerialIndex(const std::vector<T>& objects) {
    m_Positions.reserve(objects.size());
    for (size_t i = 0; i < objects.size(); ++i) Add(objects[i].m_SerialNumber, i);
  }
  void Add(const std::string& serial, size_t position) { m_Positions.emplace(serial, position); }
  T* Find(std::vector<T>& objects, const std::string& serial) const {
    const auto it = m_Positions.find(serial);
    return it == m_Positions.end() ? nullptr : &objects[it->second];
  }
  const T* Find(const std::vector<T>& objects, const std::string& serial) const {
    const auto it = m_Positions.find(serial);
    return it == m_Positions.end() ? nullptr : &objects[it->second];
  }

 private:
  std::unordered_map<std::string, size_t> m_Positions;
};

// An event about `adapter` (its ID and display name, the time now) with the
// given number and severity: the appearance and disappearance events.
PI::CEvent AdapterEvent(const CIntelSSDAdapter& adapter, uint32_t id, uint32_t severity);

}  // namespace NAMESPACE_Nimbra
