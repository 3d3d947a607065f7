// CPluginHelper: unit and lifetime arithmetic that plug-ins share. Pure
// functions of their arguments, thread-safe, never throw, never divide by 0.
#pragma once

#include "PI/Types.h"

namespace PI {

class CPluginHelper {
 public:
  // Scales a byte count to decimal units for display: the largest of bytes,
  // kB (10^3), MB, GB, TB, PB (10^15) in which the value is at least 1
  // (0 bytes stays 0 UNIT_BYTES). Returns false only for the all-ones count,
  // which stands for "unknown"; value and unit are then untouched.
  static bool ConvertBytesToOtherUnit(unsigned long bytes, float& value, _UNITS& unit);

  // Estimates the hours a drive has left from its power-on hours, the bytes
  // written so far, its wear-levelling count (normalised: 100 new, 0 worn
  // out) and its rated endurance in terabytes written (10^12 bytes; all ones
  // = unknown). Two estimates, each at the wear rate seen so far:
  //   by endurance: hours * (rated bytes - written) / written
  //   by wear:      hours * wear / (100 - wear)
  // The smaller of those that can be computed is the result, capped at
  // kMaxRemainingHours; with neither (no hours, nothing written and no wear)
  // the result is kMaxRemainingHours. A drive past its rating or fully worn
  // has 0 hours left. Returns true when at least one estimate was computed.
  // In detail: the endurance estimate needs a known rating and, unless the
  // drive is past it (written >= rated > 0), hours > 0 and written > 0; the
  // wear estimate needs 0 < wear < 100 and hours > 0 (wear 0 gives 0 hours,
  // wear 100 or more gives no estimate). Products are formed in 128 bits, so
  // nothing overflows, and no divisor can be 0.
  static constexpr unsigned long kMaxRemainingHours = 20UL * 365 * 24;
  static bool ComputeRemainingLifeTime(unsigned long powerOnHours, unsigned long bytesWritten,
                                       unsigned int wearLevelingCount,
                                       unsigned long ratedEnduranceTB,
                                       unsigned long& remainingHours);
};

}  // namespace PI
