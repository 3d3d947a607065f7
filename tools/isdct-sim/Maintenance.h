// What the maintenance commands do to a drive and what the tool prints for
// them: NVMe Format ("start ... Function=nvmeformat"), erase ("delete") and
// settings ("set"). Pure functions on a Drive value; no I/O.
//
// On success the drive is changed and `text` holds the drive header and a
// status line containing "successful". On failure the drive is left exactly
// as it was and `text` holds one "Error: ..." line.
#pragma once

#include <cstdint>
#include <string>

#include "Fleet.h"

namespace isdct_sim {

struct MaintenanceResult {
  bool ok = false;
  std::string text;
};

struct FormatOptions {
  uint64_t lbaFormat = 0;        // 0 to 2: 512-byte sectors; 3 to 6: 4096-byte sectors
  uint64_t secureErase = 0;      // 0 none, 1 user data, 2 cryptographic
  uint64_t protectionInfo = 0;   // 0 to 3
  uint64_t metadataSetting = 0;  // 0 or 1
};

// Formats with the given LBA format: the sector size follows it, the native
// and the current maximum LBA are scaled to the new sector size, the drive is
// marked erased. `outOfRange` adds a count too large for 64 bits.
MaintenanceResult FormatDrive(Drive& drive, const FormatOptions& options, bool outOfRange);

// Erases all user data: the drive is marked erased; its counters stay.
MaintenanceResult EraseDrive(Drive& drive, bool outOfRange);

// Applies Name=Value. MaximumLBA takes "native", a number of LBAs, "<n>GB"
// (the capacity of a drive sold as n GB) or "X<p>" (p percent of the native
// maximum, 1 to 100); the result must lie in 1 to the native maximum. Any
// other name is stored in the drive's settings as given.
MaintenanceResult ApplySetting(Drive& drive, const std::string& name, const std::string& value,
                               bool outOfRange);

}  // namespace isdct_sim
