// CConfigManager: PCI devices as the host sees them in its sysfs tree
// (<root>/bus/pci/devices/SSSS:BB:DD.F with files "vendor" and "device",
// e.g. "0x8086"). Thread-safe; reads the tree on every call.
#pragma once

namespace TLXX {

class CConfigManager {
 public:
  // Finds the `instance`-th (1-based) device whose vendor and device ids
  // equal the given hex texts (case-insensitive, with or without "0x"),
  // counting in ascending address order. Fills segment, bus, device and
  // function and returns true; returns false and leaves them untouched when
  // there is no such device or the tree is missing or malformed.
  static bool GetLocation(const char* vendor, const char* device, int instance, int& segment,
                          int& bus, int& dev, int& function);
};

}  // namespace TLXX
