// CConfigManager: PCI devices as the host sees them in its sysfs tree
// (<root>/bus/pci/devices/SSSS:BB:DD.F, hexadecimal, with files "vendor" and
// "device" holding e.g. "0x8086"; the root is CSystem::GetSysfsRoot()).
// Thread-safe; reads the tree on every call; never throws. Entries whose name
// is not such an address, or whose vendor or device file is missing or not a
// hex number of at most 16 bits, are skipped.
#pragma once

namespace TLXX {

class CConfigManager {
 public:
  // Finds the `instance`-th (1-based) device whose vendor and device ids
  // equal the given hex texts (case-insensitive, with or without "0x"),
  // counting in ascending (segment, bus, device, function) order. Fills
  // segment, bus, device and function and returns true; returns false and
  // leaves them untouched when there is no such device, `instance` < 1, an id
  // text is not hex, or the tree is missing.
  static bool GetLocation(const char* vendor, const char* device, int instance, int& segment,
                          int& bus, int& dev, int& function);
};

}  // namespace TLXX
