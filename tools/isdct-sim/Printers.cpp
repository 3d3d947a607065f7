#include "Printers.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace isdct_sim {
namespace {

// Numbers one past what the reader's fields hold.
constexpr const char* kAbove32Signed = "2147483648";
constexpr const char* kAbove32 = "4294967296";
constexpr const char* kAbove64 = "18446744073709551616";
constexpr const char* kAbove64Hex = "0x10000000000000000";

std::string Hex(uint64_t value, int width = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*" PRIX64, width, value);
  return text;
}

class Lines {
 public:
  Lines& Add(const std::string& key, const std::string& value) {
    m_Text += key + ": " + value + "\n";
    return *this;
  }
  Lines& Add(const std::string& key, uint64_t value) { return Add(key, std::to_string(value)); }
  Lines& Raw(const std::string& line) {
    m_Text += line + "\n";
    return *this;
  }
  std::string Str() const { return m_Text; }

 private:
  std::string m_Text;
};

std::string DeviceStatus(uint32_t warnings) {
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
  return text.empty() ? "Critical warning " + Hex(warnings, 2) : "Critical: " + text;
}

std::string HeaderLine(const Drive& d) { return "- IntelSSD " + d.serial + " -"; }

struct Attribute {
  const char* id;
  const char* description;
  uint64_t normalized;
  uint64_t raw;
};

}  // namespace

std::string DriveHeader(const Drive& d) { return HeaderLine(d) + "\n"; }

std::string InventoryBlock(const Drive& d, bool outOfRange) {
  Lines l;
  l.Raw(HeaderLine(d)).Raw("");
  l.Add("Bootloader", d.bootloader)
      .Add("ControllerDescription", "NVM Express Controller")
      .Add("ControllerIDEMode", "False")
      .Add("ControllerManufacturer", "Intel Corporation")
      .Add("ControllerService", "nvme")
      .Add("DevicePath", d.devicePath)
      .Add("DeviceStatus", DeviceStatus(d.health.criticalWarnings))
      .Add("DriverDescription", "NVM Express driver")
      .Add("DriverMajorVersion", d.driverMajor)
      .Add("DriverManufacturer", "Linux")
      .Add("DriverMinorVersion", d.driverMinor)
      .Add("ErrorString", "")
      .Add("Firmware", d.firmware)
      .Add("Index", outOfRange ? kAbove32Signed : std::to_string(d.index))
      .Add("LBAFormat", d.lbaFormat)
      .Add("MaximumLBA", outOfRange ? kAbove64 : std::to_string(d.maximumLBA))
      .Add("ModelNumber", d.model)
      .Add("NativeMaxLBA", outOfRange ? kAbove64 : std::to_string(d.nativeMaxLBA))
      .Add("NumLBAFormats", kNumLbaFormats - 1)
      .Add("NVMePowerState", 0)
      .Add("PhysicalSize", outOfRange ? kAbove64 : std::to_string(d.physicalSize))
      .Add("PowerGovernerMode", "0 (25W)")
      .Add("ProductFamily", "Intel SSD DC P3700 Series")
      .Add("SectorSize", d.sectorSize)
      .Add("SerialNumber", d.serial)
      .Add("TempThreshold", std::to_string(d.tempThreshold) + " degree C")
      .Raw("");
  return l.Str();
}

std::string LogPage2(const Drive& d, bool outOfRange) {
  const Health& h = d.health;
  auto flag = [&](uint32_t bit) { return std::string((h.criticalWarnings & bit) ? "1" : "0"); };
  auto counter = [&](uint64_t value) { return outOfRange ? kAbove64Hex : Hex(value); };
  const uint64_t powerCycles = 40 + h.powerOnHours / 500;
  Lines l;
  l.Raw(HeaderLine(d)).Raw("");
  l.Raw("SMART / Health Information (LogID 2)").Raw("");
  l.Add("Critical Warnings", Hex(h.criticalWarnings, 2))
      .Add("Available Spare Space has fallen below the threshold", flag(kWarnSpare))
      .Add("Temperature has exceeded a critical threshold", flag(kWarnTemperature))
      .Add("Device reliability has degraded", flag(kWarnReliability))
      .Add("Media is in a read-only mode", flag(kWarnReadOnly))
      .Add("Volatile memory backup device has failed", flag(kWarnBackup))
      .Add("Temperature", std::to_string(h.temperature + 273ull) + " Kelvin")
      .Add("Available Spare Normalized percentage of the remaining spare capacity available",
           h.availableSpare)
      .Add("Available Spare Threshold Percentage", h.availableSpareThreshold)
      .Add("Percentage Used", outOfRange ? kAbove32Signed : std::to_string(h.percentageUsed))
      .Add("Data Units Read", counter(h.dataUnitsRead))
      .Add("Data Units Written", counter(h.dataUnitsWritten))
      .Add("Host Read Commands", Hex(h.dataUnitsRead * 16 + 4711))
      .Add("Host Write Commands", Hex(h.dataUnitsWritten * 12 + 815))
      .Add("Controller Busy Time", Hex(h.powerOnHours * 3))
      .Add("Power Cycles", Hex(powerCycles))
      .Add("Power On Hours", counter(h.powerOnHours))
      .Add("Unsafe Shutdowns", Hex(powerCycles / 20))
      .Add("Media Errors", counter(h.mediaErrors))
      .Add("Number of Error Information Log Entries", Hex(h.mediaErrors));
  return l.Str();
}

std::string LogPage197(const Drive& d, bool outOfRange) {
  const uint32_t t = d.health.temperature;
  Lines l;
  l.Raw(HeaderLine(d)).Raw("");
  l.Raw("Temperature Statistics (LogID 197)").Raw("");
  l.Add("Current Temperature", outOfRange ? kAbove32 : std::to_string(t))
      .Add("Overtemp Shutdown Flag for last critical component temperature", 0)
      .Add("Overtemp Shutdown Flag for life critical component temperature", 0)
      .Add("Highest Temperature", std::max<uint64_t>(t, 48))
      .Add("Lowest Temperature", std::min<uint64_t>(t, 16))
      .Add("Specified Maximum Operating Temperature", 70)
      .Add("Specified Minimum Operating Temperature", 0)
      .Add("Estimated offset", 0);
  return l.Str();
}

std::string LogPage202(const Drive& d, bool outOfRange) {
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
  l.Raw(HeaderLine(d)).Raw("");
  l.Raw("Vendor Specific SMART Attributes (LogID 202)").Raw("");
  for (const Attribute& a : attributes) {
    const std::string normalized = outOfRange ? kAbove64 : std::to_string(a.normalized);
    l.Add("ID", a.id);
    if (std::string(a.id) == "AD") {
      // This attribute carries its normalized value on the description line.
      l.Add("Description", std::string(a.description) + ": " + normalized);
    } else {
      l.Add("Description", a.description).Add("Normalized", normalized);
    }
    l.Add("Raw", Hex(a.raw, 12)).Raw("");
  }
  return l.Str();
}

std::string VersionText(const std::string& toolVersion, const std::string& fleetSource,
                        bool outOfRange) {
  Lines l;
  l.Raw("isdct - SSD command-line tool (simulated drives)");
  l.Raw("Fleet: " + fleetSource).Raw("");
  l.Add("Version", outOfRange ? std::string(kAbove64) + ".0.0" : toolVersion);
  return l.Str();
}

}  // namespace isdct_sim
