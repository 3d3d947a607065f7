// CSystemTime_Lx: wall-clock time in milliseconds since the epoch, and its
// calendar date (UTC). Thread-safe.
#pragma once

#include <cstdint>

namespace TLXX {

// Calendar record; the first three words are year, month (1-12), day (1-31).
struct CDate {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
  int32_t hour = 0;
  int32_t minute = 0;
  int32_t second = 0;
  int32_t millisecond = 0;
};

class CSystemTime_Lx {
 public:
  // Wall-clock milliseconds since the epoch (may jump when the clock is set;
  // measure intervals with a steady clock).
  static uint64_t Now();
  // Converts milliseconds since the epoch; a time beyond year 9999 gives
  // 9999-12-31. Returns true.
  static bool GetDate(uint64_t timeMs, CDate& date);
};

}  // namespace TLXX
