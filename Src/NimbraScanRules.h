// The rules by which a scan turns one inventory record and its health values
// into an adapter and a drive: health state and reasons, throttle state,
// location texts, driver version, drive sizes and the capacity class. Pure
// functions of their arguments, so each is tested as a table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NimbraCmdEmuRecords.h"
#include "PI/Records.h"

namespace NAMESPACE_Nimbra {
namespace ScanRules {

struct Health {
  uint32_t state = 0;
  std::vector<uint32_t> reasons;
};

// Health state and reasons from the critical-warning word, the five health
// flags and the thermal-throttle value of `log`.
Health AssessHealth(const CCmdEmuGetlog& log);

// THROTTLE_NONE at 100, THROTTLE_ACTIVE at 99 or less unless the media is
// read-only, THROTTLE_OTHER otherwise.
uint32_t ThrottleState(uint64_t throttleStatus, int32_t readOnlyMode);

struct PciLocation {
  uint32_t segment = 0;
  uint32_t bus = 0;
  uint32_t device = 0;
  uint32_t function = 0;
};

// Records a successful PCI lookup into `current` (a fresh adapter's zeros):
// the looked-up segment is kept only when bus, device and function equal the
// current ones; otherwise bus, device and function are taken and the segment
// is 0. So a non-zero segment is recorded only for a device at 0:0.0.
void RecordLookup(PciLocation& current, int segment, int bus, int device, int function);

// "PCI:Segment=%d&Bus=%d&Device=%d&Function=%d" when the segment is not 0,
// else "PCI:Bus=%d&Device=%d&Function=%d"; a drive's text adds "&ID=0".
std::string LocationText(const PciLocation& location, bool drive);

// The kernel module's version, or "major.minor" from the tool when the
// module reports none and both parts are known; else empty.
std::string DriverVersion(const std::string& moduleVersion, const std::string& major,
                          const std::string& minor);

// The adapter's display name from the host's adapter numbers: the first
// entry of `ids` with the adapter's four location numbers and an assigned
// number gives "Torvik P3700 (%d)" for an add-in card, else
// "Torvik 2.5in (%d)". Returns false, leaving `name` as it is, when no entry
// matches.
bool AdapterDisplayName(const PciLocation& location, bool addInCard,
                        const std::vector<PI::CAdapterID>& ids, std::string& name);

struct DriveSizes {
  uint32_t sectorSize = 0;
  uint64_t physicalMiB = 0;
  uint64_t capacityMiB = 0;
  uint64_t usedMiB = 0;
  uint64_t usedPercent = 0;
};

// Sizes in MiB from the inventory, in unsigned 64-bit arithmetic with the
// sector size taken as a signed 32-bit number. A native maximum LBA of 0
// reports 0 % used instead of dividing by zero.
DriveSizes ComputeSizes(const CCmdEmuAdapter& record);

struct CapacityClass {
  std::string driveName;
  uint64_t ratedEnduranceTB;
};

// The drive's display name and the adapter's rated endurance, from the
// capacity in whole GiB (capacity MiB >> 10) and the form factor.
CapacityClass Classify(uint64_t capacityMiB, bool addInCard);

}  // namespace ScanRules
}  // namespace NAMESPACE_Nimbra
