// Fixture objects of the property-table tests, as a scan leaves them; a
// plug-in state object whose configuration file lives in a temporary folder;
// a property record as one row of text, so that expected records read as a
// table (the golden document pins every other word).
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "NimbraImpl.h"
#include "PI/ConfigFile.h"
#include "TestSupport.h"

namespace nimbra_test {

using NAMESPACE_Nimbra::CIntelSSDAdapter;
using NAMESPACE_Nimbra::CIntelSSDPhysicalDrive;
using NAMESPACE_Nimbra::IPLUGINAPI_IMPL;

constexpr uint64_t kUnset = CIntelSSDAdapter::kUnset;

// The plug-in's state with Nimbra.ini in a fresh folder (none there yet).
struct Plugin {
  nimbra_test::TempDir config;
  std::unique_ptr<IPLUGINAPI_IMPL> api;
  Plugin() {
    PI::CConfigFile::SetConfigDirectory(config.path());
    api = std::make_unique<IPLUGINAPI_IMPL>();
  }
  ~Plugin() {
    api.reset();
    PI::CConfigFile::SetConfigDirectory("");
  }
};

// "id valueKind unit severityId flagA ro|rw | value", the value by its kind:
// text "\"...\"", enumerated "40024 of {40024,40150}", number "8760", range
// "100 in 0..100/1", set "{40459} of {...}", float "26" (six digits).
inline std::string List(const std::vector<int>& values) {
  std::string text;
  for (const int v : values) text += (text.empty() ? "" : ",") + std::to_string(v);
  return "{" + text + "}";
}
inline std::string Row(const PI::CProperty& p) {
  char value[64] = "-";
  if (p.valueKind == 8)
    std::snprintf(value, sizeof value, "%.6g", static_cast<double>(p.floatValue));
  const std::string v =
      p.valueKind == 2   ? "\"" + p.text + "\""
      : p.valueKind == 3 ? std::to_string(p.intValue) + " of " + List(p.allowed)
      : p.valueKind == 5 ? std::to_string(p.number)
      : p.valueKind == 6 ? std::to_string(p.intValue) + " in " + std::to_string(p.rangeMin) + ".." +
                               std::to_string(p.rangeMax) + "/" + std::to_string(p.rangeStep)
      : p.valueKind == 7 ? List(p.current) + " of " + List(p.allowed)
                         : std::string(value);
  return std::to_string(p.id) + " " + std::to_string(p.valueKind) + " " + std::to_string(p.unit) +
         " " + std::to_string(p.severityId) + " " + std::to_string(p.flagA) +
         (p.writable ? " rw | " : " ro | ") + v;
}
inline std::vector<std::string> Rows(const std::vector<PI::CProperty>& properties) {
  std::vector<std::string> rows;
  for (const PI::CProperty& p : properties) rows.push_back(Row(p));
  return rows;
}

// A healthy 400 GB add-in card after a full scan: tool temperature 31 (the
// scan adds 5), 1234567 units read, 2345678 written, 8760 hours, wear 99.
inline CIntelSSDAdapter HealthyCard() {
  CIntelSSDAdapter a;
  a.m_ID = 0x0135000000000001ULL;
  a.m_Kind = 19038;
  a.m_Index = 0;
  a.m_SerialNumber = "CVFT5213000A400BGN";
  a.m_Vendor = "Intel";
  a.m_ModelNumber = "INTEL SSDPEDMD400G4";
  a.m_ModelNumberCopy = a.m_ModelNumber;
  a.m_DisplayName = "Torvik P3700 (0)";
  a.m_Location = "PCI:Bus=5&Device=0&Function=0";
  a.m_DriverName = "nvme";
  a.m_DriverVersion = "1.0";
  a.m_Firmware = "8DV101H0";
  a.m_Bootloader = "8B1B0133";
  a.m_DevicePath = "/dev/nvme0n1";
  a.m_PciBus = 5;
  a.m_WearLevelingCount = 99;
  a.m_Temperature = 36.0f;
  a.m_DataUnitsRead = 1234567;
  a.m_DataUnitsWritten = 2345678;
  a.m_PowerOnHours = 8760;
  a.m_RatedEndurance = 7300;
  a.m_ReserveSpace = 98;
  a.m_WarningThreshold = 10;
  a.m_HealthState = 40024;
  a.m_ThrottleState = 40252;
  return a;
}

// A drive behind HealthyCard.
inline CIntelSSDPhysicalDrive CardDrive() {
  CIntelSSDPhysicalDrive d;
  d.m_ID = 0x0135000000000002ULL;
  d.m_Kind = 19018;
  d.m_AdapterIndex = 0;
  d.m_SerialNumber = "CVFT5213000A400BGN";
  d.m_Vendor = "Intel";
  d.m_ModelNumber = "INTEL SSDPEDMD400G4";
  d.m_DisplayName = "Torvik P3700 400GB (0)";
  d.m_Location = "PCI:Bus=5&Device=0&Function=0&ID=0";
  d.m_DevicePath = "/dev/nvme0n1";
  d.m_State = 40099;
  d.m_SectorSize = 512;
  d.m_Temperature = 36.0f;
  d.m_PhysicalSize = 381554;
  d.m_Capacity = 381554;
  d.m_UsedSize = 381554;
  d.m_UsedPercent = 100;
  return d;
}

}  // namespace nimbra_test
