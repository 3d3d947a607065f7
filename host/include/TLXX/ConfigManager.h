// CConfigManager: PCI devices as the host sees them in its sysfs tree
// (<root>/bus/pci/devices/SSSS:BB:DD.F, hexadecimal, with files "vendor" and
// "device" holding e.g. "0x8086"; the root is CSystem::GetSysfsRoot()).
// Thread-safe (calls are serialised by an internal lock); never throws.
// Entries whose name is not such an address, or whose vendor or device file
// is missing or not a hex number of at most 16 bits, are skipped.
//
// The ids read from the device folders are kept and reused while the
// devices folder is unchanged (its stamp, and the names and inode numbers it
// lists) and its stamp was over a second old when they were read, so a
// lookup costs one readdir (one stat once the folder has settled on a file
// system that stamps folders), not two opens per device. Adding, removing or
// replacing a device folder, or pointing the sysfs root elsewhere, makes the
// next call read every device again; entries whose ids could not be read are
// read again on every call. Rewriting the id files of a device folder in
// place (which sysfs never does) is noticed only within that second.
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
