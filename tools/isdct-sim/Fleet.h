// The simulated drives and the facts the SSD tool reports about them. Plain
// value types, copied freely; no I/O.
//
// DefaultFleet() is what the tool answers for when no fleet file is named:
// two add-in cards and two 2.5-inch drives, healthy. DefaultDrive(i) is what
// the drive at position i of a fleet file takes for every key it leaves out;
// positions 0 to 3 are the default fleet's drives, later positions get
// generated drives of the same four kinds with their own serial, index, PCI
// bus and device path.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Faults.h"

namespace isdct_sim {

struct PciLocation {
  uint32_t segment = 0;
  uint32_t bus = 0;
  uint32_t device = 0;
  uint32_t function = 0;
  bool operator==(const PciLocation& o) const {
    return segment == o.segment && bus == o.bus && device == o.device && function == o.function;
  }
};

// Health values behind log pages 2, 197 and 202.
struct Health {
  uint32_t criticalWarnings = 0;  // NVMe critical-warning bits, 0 to 0xFF
  uint32_t availableSpare = 100;
  uint32_t availableSpareThreshold = 10;
  uint32_t percentageUsed = 0;
  uint64_t dataUnitsRead = 0;
  uint64_t dataUnitsWritten = 0;
  uint64_t powerOnHours = 0;
  uint64_t mediaErrors = 0;
  uint32_t temperature = 30;             // degrees Celsius, as page 197 prints it
  uint32_t thermalThrottleStatus = 100;  // normalized attribute EA
  uint32_t wearLevelingCount = 100;      // normalized attribute AD
};

struct Drive {
  uint32_t index = 0;
  std::string serial;
  std::string model;
  std::string firmware;
  std::string bootloader;
  std::string devicePath;
  PciLocation pci;
  uint32_t sectorSize = 512;
  uint32_t lbaFormat = 0;
  uint64_t maximumLBA = 0;
  uint64_t nativeMaxLBA = 0;
  uint64_t physicalSize = 0;
  uint32_t tempThreshold = 85;
  std::string driverMajor;
  std::string driverMinor;
  bool present = true;
  bool erased = false;  // set by a format or an erase
  Health health;
  FaultMap faults;
  std::map<std::string, std::string> settings;  // values stored by "set", other than MaximumLBA
};

struct Fleet {
  std::string toolVersion;
  std::string nvmeModuleVersion;
  FaultMap faults;
  std::vector<Drive> drives;
};

// Critical-warning bits as the NVMe health page defines them.
constexpr uint32_t kWarnSpare = 0x01;
constexpr uint32_t kWarnTemperature = 0x02;
constexpr uint32_t kWarnReliability = 0x04;
constexpr uint32_t kWarnReadOnly = 0x08;
constexpr uint32_t kWarnBackup = 0x10;

// Number of LBA formats the drives offer and the data size of each.
constexpr uint32_t kNumLbaFormats = 7;
uint32_t SectorSizeOfLbaFormat(uint32_t lbaFormat);  // REQUIRES: lbaFormat < kNumLbaFormats

// Number of 512-byte LBAs of a drive sold as `gigabytes` GB (the industry's
// capacity formula, which gives the default drives' exact sizes).
uint64_t LbasForGigabytes(uint64_t gigabytes, uint32_t sectorSize);

Fleet DefaultFleet();
Drive DefaultDrive(std::size_t position);

// "/dev/nvme<index>n1".
std::string DevicePathFor(uint32_t index);

// The first present drive with this index, or null.
const Drive* FindPresent(const Fleet& fleet, uint32_t index);
Drive* FindPresent(Fleet& fleet, uint32_t index);
// The drive with this serial Number (present or not), or null.
Drive* FindSerial(Fleet& fleet, const std::string& serial);

}  // namespace isdct_sim
