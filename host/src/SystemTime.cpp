#include "TLXX/SystemTime.h"

#include <time.h>

#include <chrono>

namespace TLXX {

uint64_t CSystemTime_Lx::Now() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
  return ms > 0 ? static_cast<uint64_t>(ms) : 0;
}

bool CSystemTime_Lx::GetDate(uint64_t timeMs, CDate& date) {
  // 10000-01-01T00:00:00Z in milliseconds since the epoch.
  constexpr uint64_t kYear10000 = 253402300800000ULL;
  if (timeMs >= kYear10000) {
    date = CDate{9999, 12, 31, 23, 59, 59, 999};
    return true;
  }
  const time_t seconds = static_cast<time_t>(timeMs / 1000);
  tm utc{};
  gmtime_r(&seconds, &utc);
  date.year = utc.tm_year + 1900;
  date.month = utc.tm_mon + 1;
  date.day = utc.tm_mday;
  date.hour = utc.tm_hour;
  date.minute = utc.tm_min;
  date.second = utc.tm_sec;
  date.millisecond = static_cast<int32_t>(timeMs % 1000);
  return true;
}

}  // namespace TLXX
