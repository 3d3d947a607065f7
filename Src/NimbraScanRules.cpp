#include "NimbraScanRules.h"

#include <string>

#include "NimbraCodes.h"
#include "NimbraFormFactor.h"

namespace NAMESPACE_Nimbra {
namespace ScanRules {

bool AdapterDisplayName(const PciLocation& location, bool addInCard,
                        const std::vector<PI::CAdapterID>& ids, std::string& name) {
  for (const PI::CAdapterID& id : ids) {
    if (id.m_Segment == location.segment && id.m_Bus == location.bus &&
        id.m_Device == location.device && id.m_Function == location.function &&
        id.m_HostNumber != PI::CAdapterID::kUnassigned) {
      name = std::string(TraitsOf(addInCard).namePrefix) + " (" +
             std::to_string(static_cast<int>(id.m_HostNumber)) + ")";
      return true;
    }
  }
  return false;
}

Health AssessHealth(const CCmdEmuGetlog& log) {
  Health h;
  const uint64_t throttle = log.m_ThermalThrottleStatus;
  if (log.m_CriticalWarnings == 0) {
    h.state = throttle > 99 ? HEALTH_GOOD : HEALTH_DEGRADED;
    return h;
  }
  // A non-zero word with none of the five flags set (only temperature-band
  // bits, say) means the drive is running hot: degraded, with no reason.
  h.state = HEALTH_DEGRADED;
  struct Flag {
    int32_t value;
    uint32_t reason;
    uint32_t state;
  };
  const Flag flags[] = {
      {log.m_TemperatureExceeded, REASON_TEMPERATURE_EXCEEDED, HEALTH_DEGRADED},
      {log.m_SpareBelowThreshold, REASON_SPARE_BELOW_THRESHOLD, HEALTH_DEGRADED},
      {log.m_VolatileBackupFailed, REASON_VOLATILE_BACKUP_FAILED, HEALTH_FAILED},
      {log.m_ReliabilityDegraded, REASON_RELIABILITY_DEGRADED, HEALTH_FAILED},
      {log.m_ReadOnlyMode, REASON_READ_ONLY, HEALTH_FAILED},
  };
  for (const Flag& f : flags) {
    if (f.value == 0) continue;
    h.reasons.push_back(f.reason);
    h.state = f.state;  // the last flag set decides
  }
  if (throttle <= 99 && h.state != HEALTH_FAILED) h.state = HEALTH_DEGRADED;
  return h;
}

uint32_t ThrottleState(uint64_t throttleStatus, int32_t readOnlyMode) {
  if (throttleStatus == 100) return THROTTLE_NONE;
  if (throttleStatus <= 99 && readOnlyMode == 0) return THROTTLE_ACTIVE;
  return THROTTLE_OTHER;
}

void RecordLookup(PciLocation& current, int segment, int bus, int device, int function) {
  const auto b = static_cast<uint32_t>(bus);
  const auto d = static_cast<uint32_t>(device);
  const auto f = static_cast<uint32_t>(function);
  if (b == current.bus && d == current.device && f == current.function) {
    current.segment = static_cast<uint32_t>(segment);
  } else {
    current.bus = b;
    current.device = d;
    current.function = f;
    current.segment = 0;
  }
}

std::string LocationText(const PciLocation& l, bool drive) {
  // Plain appends: this runs twice per drive in every scan.
  std::string text = "PCI:";
  if (l.segment != 0) text += "Segment=" + std::to_string(l.segment) + "&";
  text += "Bus=" + std::to_string(l.bus);
  text += "&Device=" + std::to_string(l.device);
  text += "&Function=" + std::to_string(l.function);
  if (drive) text += "&ID=0";
  return text;
}

std::string DriverVersion(const std::string& moduleVersion, const std::string& major,
                          const std::string& minor) {
  if (!moduleVersion.empty()) return moduleVersion;
  if (major.empty() || minor.empty()) return std::string();
  return major + "." + minor;
}

DriveSizes ComputeSizes(const CCmdEmuAdapter& r) {
  DriveSizes s;
  s.sectorSize = r.m_SectorSize;
  // Sign-extended, as a signed 32-bit sector size multiplies into 64 bits.
  const auto sector =
      static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(r.m_SectorSize)));
  s.physicalMiB = r.m_PhysicalSize >> 20;
  s.capacityMiB = (sector * r.m_NativeMaxLBA) >> 20;
  s.usedMiB = (sector * r.m_MaximumLBA) >> 20;
  s.usedPercent = r.m_NativeMaxLBA == 0 ? 0 : r.m_MaximumLBA * 100 / r.m_NativeMaxLBA;
  return s;
}

CapacityClass Classify(uint64_t capacityMiB, bool addInCard) {
  struct Row {
    uint64_t maxGiB;
    const char* size;
    uint64_t ratedEnduranceTB;
  };
  static constexpr Row kRows[] = {
      {499, "400GB", 7300}, {899, "800GB", 14600}, {1699, "1.6TB", 29200}, {~0ULL, "2TB", 36500}};
  const uint64_t gib = capacityMiB >> 10;
  const Row* row = kRows;
  while (gib > row->maxGiB) ++row;
  return {std::string(TraitsOf(addInCard).namePrefix) + " " + row->size + " (0)",
          row->ratedEnduranceTB};
}

}  // namespace ScanRules
}  // namespace NAMESPACE_Nimbra
