#include "Fleet.h"

#include <cstdio>

namespace isdct_sim {
namespace {

struct DriveKind {
  const char* model;
  uint64_t gigabytes;
  const char* capacityCode;  // the capacity as the serial number spells it
  const char* plant;         // first four letters of the serial number
};

// Add-in cards first, then 2.5-inch drives, in the order of the default fleet.
const DriveKind kKinds[] = {
    {"INTEL SSDPEDMD400G4", 400, "400", "CVFT"},
    {"INTEL SSDPEDMD016T4", 1600, "1P6", "CVFT"},
    {"INTEL SSDPE2MD800G4", 800, "800", "PHFT"},
    {"INTEL SSDPE2MD020T4", 2000, "2P0", "PHFT"},
};

struct DefaultHealth {
  uint32_t temperature;
  uint32_t percentageUsed;
  uint64_t dataUnitsRead;
  uint64_t dataUnitsWritten;
  uint64_t powerOnHours;
};

const DefaultHealth kDefaultHealth[] = {
    {31, 1, 1234567, 2345678, 8760},
    {34, 2, 48213370, 61722154, 13140},
    {28, 0, 310442, 502116, 4380},
    {30, 0, 97135, 180223, 2190},
};

const uint32_t kDefaultBuses[] = {0x05, 0x06, 0x81, 0x82};

std::string MakeSerial(const DriveKind& kind, const char* dateCode, std::size_t sequence) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%s%03u%c%sBGN", kind.plant, dateCode,
                static_cast<unsigned>(sequence % 1000), static_cast<char>('A' + sequence % 26),
                kind.capacityCode);
  return text;
}

}  // namespace

uint32_t SectorSizeOfLbaFormat(uint32_t lbaFormat) { return lbaFormat < 3 ? 512 : 4096; }

uint64_t LbasForGigabytes(uint64_t gigabytes, uint32_t sectorSize) {
  uint64_t lbas512 =
      gigabytes >= 50 ? 97696368 + 1953504 * (gigabytes - 50) : gigabytes * 1000000000 / 512;
  return sectorSize == 0 ? lbas512 : lbas512 * 512 / sectorSize;
}

std::string DevicePathFor(uint32_t index) { return "/dev/nvme" + std::to_string(index) + "n1"; }

Drive DefaultDrive(std::size_t position) {
  const DriveKind& kind = kKinds[position % 4];
  const bool generated = position >= 4;
  Drive d;
  d.index = static_cast<uint32_t>(position);
  d.serial = MakeSerial(kind, generated ? "5310" : (position < 2 ? "5213" : "5202"), position);
  d.model = kind.model;
  d.firmware = "8DV101H0";
  d.bootloader = "8B1B0133";
  d.devicePath = DevicePathFor(d.index);
  if (generated) {
    d.pci.bus = 0x83 + static_cast<uint32_t>((position - 4) % 125);
    d.pci.device = static_cast<uint32_t>((position - 4) / 125 % 32);
  } else {
    d.pci.bus = kDefaultBuses[position];
  }
  d.sectorSize = 512;
  d.lbaFormat = 0;
  d.nativeMaxLBA = LbasForGigabytes(kind.gigabytes, 512);
  d.maximumLBA = d.nativeMaxLBA;
  d.physicalSize = d.nativeMaxLBA * 512;
  d.tempThreshold = 85;
  d.driverMajor = "1";
  d.driverMinor = "0";

  Health& h = d.health;
  if (generated) {
    h.temperature = 29 + static_cast<uint32_t>(position % 6);
    h.percentageUsed = static_cast<uint32_t>(position % 3);
    h.dataUnitsRead = 250000 + 40111 * position;
    h.dataUnitsWritten = 410000 + 52213 * position;
    h.powerOnHours = 1000 + 731 * position;
  } else {
    const DefaultHealth& dh = kDefaultHealth[position];
    h.temperature = dh.temperature;
    h.percentageUsed = dh.percentageUsed;
    h.dataUnitsRead = dh.dataUnitsRead;
    h.dataUnitsWritten = dh.dataUnitsWritten;
    h.powerOnHours = dh.powerOnHours;
  }
  h.wearLevelingCount = 100 - h.percentageUsed;
  return d;
}

Fleet DefaultFleet() {
  Fleet fleet;
  fleet.toolVersion = "3.0.2";
  fleet.nvmeModuleVersion = "1.0";
  for (std::size_t i = 0; i < 4; ++i) fleet.drives.push_back(DefaultDrive(i));
  return fleet;
}

const Drive* FindPresent(const Fleet& fleet, uint32_t index) {
  for (const Drive& d : fleet.drives) {
    if (d.present && d.index == index) return &d;
  }
  return nullptr;
}

Drive* FindPresent(Fleet& fleet, uint32_t index) {
  return const_cast<Drive*>(FindPresent(static_cast<const Fleet&>(fleet), index));
}

Drive* FindSerial(Fleet& fleet, const std::string& serial) {
  for (Drive& d : fleet.drives) {
    if (d.serial == serial) return &d;
  }
  return nullptr;
}

}  // namespace isdct_sim
