#include "Printers.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace isdctsim {
namespace {

// Numbers one past what the reader's fields hold.
constexpr const char* kAbove32Signed = "2147483648";
constexpr const char* kAbove32 = "4294967296";
constexpr const char* kAbove64 = "18446744073709551616";
constexpr const char* kAbove64Hex = "0x10000000000000000";

std::string hex(uint64_t value, int width = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*" PRIX64, width, value);
  return text;
}

class Lines {
 public:
  Lines& add(const std::string& key, const std::string& value) {
    text_ += key + ": " + value + "\n";
    return *this;
  }
  Lines& add(const std::string& key, uint64_t value) { return add(key, std::to_string(value)); }
  Lines& raw(const std::string& line) {
    text_ += line + "\n";
    return *this;
  }
  std::string str() const { return text_; }

 private:
  std::string text_;
};

std::string deviceStatus(uint32_t warnings) {
  if (warnings == 0) return "Healthy";
  static const std::pair<uint32_t, const char*> kTexts[] = {
      {kWarnSpare, "spare below threshold"},
      {kWarnTemperature, "temperature above threshold"},
      {kWarnReliability, "reliability degraded"},
      {kWarnReadOnly, "read-only"},
      {kWarnBackup, "volatile memory backup failed"},
  };
  std::string text;
  for (const auto& [bit, name] : kTexts) {
    if (warnings & bit) text += (text.empty() ? "" : ", ") + std::string(name);
  }
  return text.empty() ? "Critical warning " + hex(warnings, 2) : "Critical: " + text;
}

std::string headerLine(const Drive& d) { return "- IntelSSD " + d.serial + " -"; }

struct Attribute {
  const char* id;
  const char* description;
  uint64_t normalized;
  uint64_t raw;
};

}  // namespace

std::string driveHeader(const Drive& d) { return headerLine(d) + "\n"; }

std::string inventoryBlock(const Drive& d, bool outOfRange) {
  Lines l;
  l.raw(headerLine(d)).raw("");
  l.add("Bootloader", d.bootloader)
      .add("ControllerDescription", "NVM Express Controller")
      .add("ControllerIDEMode", "False")
      .add("ControllerManufacturer", "Intel Corporation")
      .add("ControllerService", "nvme")
      .add("DevicePath", d.devicePath)
      .add("DeviceStatus", deviceStatus(d.health.criticalWarnings))
      .add("DriverDescription", "NVM Express driver")
      .add("DriverMajorVersion", d.driverMajor)
      .add("DriverManufacturer", "Linux")
      .add("DriverMinorVersion", d.driverMinor)
      .add("ErrorString", "")
      .add("Firmware", d.firmware)
      .add("Index", outOfRange ? kAbove32Signed : std::to_string(d.index))
      .add("LBAFormat", d.lbaFormat)
      .add("MaximumLBA", outOfRange ? kAbove64 : std::to_string(d.maximumLBA))
      .add("ModelNumber", d.model)
      .add("NativeMaxLBA", outOfRange ? kAbove64 : std::to_string(d.nativeMaxLBA))
      .add("NumLBAFormats", kNumLbaFormats - 1)
      .add("NVMePowerState", 0)
      .add("PhysicalSize", outOfRange ? kAbove64 : std::to_string(d.physicalSize))
      .add("PowerGovernerMode", "0 (25W)")
      .add("ProductFamily", "Intel SSD DC P3700 Series")
      .add("SectorSize", d.sectorSize)
      .add("SerialNumber", d.serial)
      .add("TempThreshold", std::to_string(d.tempThreshold) + " degree C")
      .raw("");
  return l.str();
}

std::string logPage2(const Drive& d, bool outOfRange) {
  const Health& h = d.health;
  auto flag = [&](uint32_t bit) { return std::string((h.criticalWarnings & bit) ? "1" : "0"); };
  auto counter = [&](uint64_t value) { return outOfRange ? kAbove64Hex : hex(value); };
  const uint64_t powerCycles = 40 + h.powerOnHours / 500;
  Lines l;
  l.raw(headerLine(d)).raw("");
  l.raw("SMART / Health Information (LogID 2)").raw("");
  l.add("Critical Warnings", hex(h.criticalWarnings, 2))
      .add("Available Spare Space has fallen below the threshold", flag(kWarnSpare))
      .add("Temperature has exceeded a critical threshold", flag(kWarnTemperature))
      .add("Device reliability has degraded", flag(kWarnReliability))
      .add("Media is in a read-only mode", flag(kWarnReadOnly))
      .add("Volatile memory backup device has failed", flag(kWarnBackup))
      .add("Temperature", std::to_string(h.temperature + 273ull) + " Kelvin")
      .add("Available Spare Normalized percentage of the remaining spare capacity available",
           h.availableSpare)
      .add("Available Spare Threshold Percentage", h.availableSpareThreshold)
      .add("Percentage Used", outOfRange ? kAbove32Signed : std::to_string(h.percentageUsed))
      .add("Data Units Read", counter(h.dataUnitsRead))
      .add("Data Units Written", counter(h.dataUnitsWritten))
      .add("Host Read Commands", hex(h.dataUnitsRead * 16 + 4711))
      .add("Host Write Commands", hex(h.dataUnitsWritten * 12 + 815))
      .add("Controller Busy Time", hex(h.powerOnHours * 3))
      .add("Power Cycles", hex(powerCycles))
      .add("Power On Hours", counter(h.powerOnHours))
      .add("Unsafe Shutdowns", hex(powerCycles / 20))
      .add("Media Errors", counter(h.mediaErrors))
      .add("Number of Error Information Log Entries", hex(h.mediaErrors));
  return l.str();
}

std::string logPage197(const Drive& d, bool outOfRange) {
  const uint32_t t = d.health.temperature;
  Lines l;
  l.raw(headerLine(d)).raw("");
  l.raw("Temperature Statistics (LogID 197)").raw("");
  l.add("Current Temperature", outOfRange ? kAbove32 : std::to_string(t))
      .add("Overtemp Shutdown Flag for last critical component temperature", 0)
      .add("Overtemp Shutdown Flag for life critical component temperature", 0)
      .add("Highest Temperature", std::max<uint64_t>(t, 48))
      .add("Lowest Temperature", std::min<uint64_t>(t, 16))
      .add("Specified Maximum Operating Temperature", 70)
      .add("Specified Minimum Operating Temperature", 0)
      .add("Estimated offset", 0);
  return l.str();
}

std::string logPage202(const Drive& d, bool outOfRange) {
  const Health& h = d.health;
  // Wear levelling raw value: average, maximum and minimum erase count, two bytes each.
  const uint64_t eraseAverage = std::min<uint64_t>(h.percentageUsed * 170ull, 0xFFF0);
  const uint64_t wearRaw =
      (eraseAverage << 32) | ((eraseAverage * 11 / 10 + 1) << 16) | (eraseAverage * 9 / 10);
  // Thermal throttle raw value: event count (bytes 1 to 4) and percentage throttled (byte 0).
  const uint64_t throttlePercent =
      h.thermalThrottleStatus < 100 ? 100 - h.thermalThrottleStatus : 0;
  const uint64_t throttleRaw =
      (throttlePercent ? (h.powerOnHours / 1000 + 1) << 8 : 0) | throttlePercent;
  const uint64_t hostWrites32MiB = h.dataUnitsWritten * 512000 / (32ull << 20);
  const Attribute attributes[] = {
      {"AB", "Program Fail Count", 100, 0},
      {"AC", "Erase Fail Count", 100, 0},
      {"AD", "Wear Leveling Count", h.wearLevelingCount, wearRaw},
      {"B8", "End-to-End Error Detection Count", 100, 0},
      {"C7", "CRC Error Count", 100, 0},
      {"E2", "Timed Workload Media Wear", 100, 0xFFFF},
      {"E3", "Timed Workload Host Read/Write Ratio", 100, 0xFFFF},
      {"E4", "Timed Workload Timer", 100, 0xFFFF},
      {"EA", "Thermal Throttle Status", h.thermalThrottleStatus, throttleRaw},
      {"F0", "Retry Buffer Overflow Count", 100, 0},
      {"F3", "PLL Lock Loss Count", 100, 0},
      {"F4", "NAND Bytes Written", 100, hostWrites32MiB * 11 / 10},
      {"F5", "Host Bytes Written", 100, hostWrites32MiB},
  };
  Lines l;
  l.raw(headerLine(d)).raw("");
  l.raw("Vendor Specific SMART Attributes (LogID 202)").raw("");
  for (const Attribute& a : attributes) {
    const std::string normalized = outOfRange ? kAbove64 : std::to_string(a.normalized);
    l.add("ID", a.id);
    if (std::string(a.id) == "AD") {
      // This attribute carries its normalized value on the description line.
      l.add("Description", std::string(a.description) + ": " + normalized);
    } else {
      l.add("Description", a.description).add("Normalized", normalized);
    }
    l.add("Raw", hex(a.raw, 12)).raw("");
  }
  return l.str();
}

std::string versionText(const std::string& toolVersion, const std::string& fleetSource,
                        bool outOfRange) {
  Lines l;
  l.raw("isdct - SSD command-line tool (simulated drives)");
  l.raw("Fleet: " + fleetSource).raw("");
  l.add("Version", outOfRange ? std::string(kAbove64) + ".0.0" : toolVersion);
  return l.str();
}

}  // namespace isdctsim
