#include "PI/PluginHelper.h"

#include <cstddef>
#include <limits>

namespace PI {

namespace {

using Wide = unsigned __int128;

constexpr unsigned long kUnknown = std::numeric_limits<unsigned long>::max();
constexpr Wide kBytesPerTB = 1000000000000ULL;

}  // namespace

bool CPluginHelper::ConvertBytesToOtherUnit(unsigned long bytes, float& value, _UNITS& unit) {
  if (bytes == kUnknown) return false;
  static constexpr _UNITS kUnits[] = {UNIT_BYTES,     UNIT_KILOBYTES, UNIT_MEGABYTES,
                                      UNIT_GIGABYTES, UNIT_TERABYTES, UNIT_PETABYTES};
  double scaled = static_cast<double>(bytes);
  size_t step = 0;
  while (step + 1 < sizeof(kUnits) / sizeof(kUnits[0]) && scaled >= 1000.0) {
    scaled /= 1000.0;
    ++step;
  }
  value = static_cast<float>(scaled);
  unit = kUnits[step];
  return true;
}

bool CPluginHelper::ComputeRemainingLifeTime(unsigned long powerOnHours, unsigned long bytesWritten,
                                             unsigned int wearLevelingCount,
                                             unsigned long ratedEnduranceTB,
                                             unsigned long& remainingHours) {
  // Everything is computed in 128 bits: hours * bytes cannot overflow there.
  bool computed = false;
  Wide best = kMaxRemainingHours;
  auto offer = [&](Wide hours) {
    computed = true;
    if (hours < best) best = hours;
  };

  if (ratedEnduranceTB != kUnknown) {
    const Wide rated = static_cast<Wide>(ratedEnduranceTB) * kBytesPerTB;
    if (bytesWritten >= rated && bytesWritten > 0) {
      offer(0);  // past its rating
    } else if (powerOnHours > 0 && bytesWritten > 0) {
      offer(static_cast<Wide>(powerOnHours) * (rated - bytesWritten) / bytesWritten);
    }
  }
  if (wearLevelingCount == 0) {
    offer(0);  // fully worn
  } else if (wearLevelingCount < 100 && powerOnHours > 0) {
    offer(static_cast<Wide>(powerOnHours) * wearLevelingCount / (100 - wearLevelingCount));
  }
  remainingHours = static_cast<unsigned long>(best);
  return computed;
}

}  // namespace PI
