// The adapter object: its 29 properties, built from adapterPropertyTable and
// the adapter's fields, and its (empty) operations.
#include <cstdio>
#include <iterator>

#include "NimbraCmdEmuParse.h"
#include "NimbraImpl.h"
#include "NimbraProperties.h"
#include "NimbraTrace.h"
#include "PI/PluginHelper.h"
#include "PI/Status.h"
#include "TLXX/SystemTime.h"

namespace NAMESPACE_Nimbra {

namespace {

constexpr uint64_t kBytesPerDataUnit = 512000;

// Table order is output order. attrA and attrB are 1, flagB 0 in every row.
_PROPERTY_DESCRIPTION adapterPropertyTable[] = {
    {30007, 23081, 1, 1, -1, 2, 1, 1, 0},      // name
    {30003, 23144, 1, 1, -1, 2, 1, 1, 0},      // manufacturer
    {30063, 23102, 1, 1, -1, 2, 1, 1, 0},      // model
    {30158, 1, 1, 1, 0, 3, 1, 1, 0},           // form factor
    {30120, 23003, 1, 1, -1, 5, 1, 1, 0},      // adapter number
    {30017, 23127, 1, 1, -1, 3, 1, 1, 0},      // status
    {30479, 23134, 1, 1, -1, 5, 1, 1, 0},      // PCI segment
    {30037, 23132, 1, 1, -1, 5, 1, 1, 0},      // PCI bus
    {30038, 23133, 1, 1, -1, 5, 1, 1, 0},      // PCI device
    {30039, 23135, 1, 1, -1, 5, 1, 1, 0},      // PCI function
    {30137, 1, 1, 1, 0, 2, 1, 1, 0},           // location
    {30022, 23116, 1, 1, -1, 2, 1, 1, 0},      // serial number
    {30020, 23051, 1, 1, -1, 2, 1, 1, 0},      // firmware
    {30500, 23016, 1, 1, -1, 2, 1, 1, 0},      // bootloader
    {30247, 23090, 1, 1, -1, 2, 1, 1, 0},      // device path
    {30266, 23041, 1, 1, -1, 2, 1, 1, 0},      // driver name
    {30018, 23042, 1, 1, -1, 2, 1, 1, 0},      // driver version
    {30442, 23024, 1, 1, -1, 5, 21000, 0, 0},  // temperature
    {30483, 23045, 1, 1, -1, 2, 1, 0, 0},      // remaining life date
    {30498, 23101, 1, 1, -1, 5, 21005, 0, 0},  // power-on hours
    {30486, 23110, 1, 1, -1, 6, 21010, 0, 0},  // reserve space
    {30487, 23112, 1, 1, -1, 3, 1, 1, 0},      // spare state
    {30488, 23113, 1, 1, -1, 6, 21010, 1, 0},  // warning threshold
    {30489, 23017, 1, 1, -1, 8, 1, 0, 0},      // data read
    {30490, 23018, 1, 1, -1, 8, 1, 0, 0},      // data written
    {30494, 23105, 1, 1, -1, 6, 21010, 0, 0},  // endurance used
    {30468, 23147, 1, 1, -1, 3, 1, 1, 0},      // throttle state
    {30189, 23143, 1, 1, -1, 5, 1, 0, 0},      // media errors
    {30165, 23004, 1, 1, -1, 7, 1, 1, 0},      // health conditions
};

bool IsSet(uint64_t value) { return value != CIntelSSDAdapter::kUnset; }

// Data volume: units of 512000 bytes scaled by the host to a display unit.
// Returns false when the host's conversion refuses the byte count.
bool StoreDataVolume(uint64_t units, PI::CProperty& p) {
  float value = 0.0f;
  PI::_UNITS unit = PI::UNIT_BYTES;
  if (!PI::CPluginHelper::ConvertBytesToOtherUnit(units * kBytesPerDataUnit, value, unit)) {
    return false;
  }
  p.SetValue(value);
  p.unit = unit;
  p.floatMarker = 8;
  return true;
}

std::string EndOfLifeDate(const CIntelSSDAdapter& a) {
  unsigned long remainingHours = 0;
  PI::CPluginHelper::ComputeRemainingLifeTime(
      a.m_PowerOnHours, a.m_DataUnitsWritten * kBytesPerDataUnit, a.m_WearLevelingCount,
      a.m_RatedEndurance, remainingHours);
  TLXX::CDate date;
  TLXX::CSystemTime_Lx::GetDate(TLXX::CSystemTime_Lx::Now() + remainingHours * 3600000ULL, date);
  char text[40];  // room for three 11-character numbers, two dashes and the end
  std::snprintf(text, sizeof text, "%4d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

// Stores the value of one adapter property; false omits it.
bool FillAdapterProperty(const CIntelSSDAdapter& a, PI::CProperty& p) {
  switch (p.id) {
    case 30007:
      p.SetValue(a.m_DisplayName);
      return true;
    case 30003:
      p.SetValue(a.m_Vendor);
      return true;
    case 30063:
      p.SetValue(a.m_ModelNumber);
      return true;
    case 30158: {
      std::vector<int> formFactors = {40480, 40488};
      p.SetValue(CmdEmu::IsAddInCard(a.m_ModelNumberCopy) ? 40480 : 40488, formFactors);
      return true;
    }
    case 30120:
      p.SetValue(static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(a.m_Index))));
      p.secondaryId = 35004;
      return true;
    case 30017: {
      std::vector<int> states = {40024, 40150, 40095};
      p.SetValue(static_cast<int>(a.m_HealthState), states);
      p.severityId = a.m_HealthState == HEALTH_FAILED     ? 24001
                     : a.m_HealthState == HEALTH_DEGRADED ? 24002
                                                          : 24000;
      return true;
    }
    case 30479:
      p.SetValue(static_cast<unsigned long>(a.m_PciSegment));
      p.secondaryId = 35039;
      return true;
    case 30037:
      p.SetValue(static_cast<unsigned long>(a.m_PciBus));
      p.secondaryId = 35000;
      return true;
    case 30038:
      p.SetValue(static_cast<unsigned long>(a.m_PciDevice));
      p.secondaryId = 35002;
      return true;
    case 30039:
      p.SetValue(static_cast<unsigned long>(a.m_PciFunction));
      p.secondaryId = 35003;
      return true;
    case 30137:
      p.SetValue(a.m_Location);
      return true;
    case 30022:
      p.SetValue(a.m_SerialNumber);
      return true;
    case 30020:
      p.SetValue(a.m_Firmware);
      return !a.m_Firmware.empty();
    case 30500:
      p.SetValue(a.m_Bootloader);
      return !a.m_Bootloader.empty();
    case 30247:
      p.SetValue(a.m_DevicePath);
      return true;
    case 30266:
      p.SetValue(a.m_DriverName);
      return true;
    case 30018:
      p.SetValue(a.m_DriverVersion);
      return !a.m_DriverVersion.empty();
    case 30442:
      // The tool's own reading: the scan added 5 for add-in cards; other
      // models report their temperature on the drive.
      if (a.m_Temperature == -1.0f || !CmdEmu::IsAddInCard(a.m_ModelNumberCopy)) return false;
      p.SetValue(a.m_Temperature - 5.0f);
      p.floatMarker = 8;
      return true;
    case 30483:
      if (!IsSet(a.m_PowerOnHours)) return false;
      p.SetValue(EndOfLifeDate(a));
      return true;
    case 30498:
      if (!IsSet(a.m_PowerOnHours)) return false;
      p.SetValue(static_cast<unsigned long>(a.m_PowerOnHours));
      return true;
    case 30486:
      p.SetValue(static_cast<int>(a.m_ReserveSpace), 0, 100, 1u);
      p.secondaryId = 35040;
      return true;
    case 30487: {
      std::vector<int> spareStates = {40473, 40150, 40474};
      p.SetValue(static_cast<int>(a.m_SpareState), spareStates);
      p.secondaryId = 30017;
      return true;
    }
    case 30488:
      p.SetValue(static_cast<int>(a.m_WarningThreshold), 1, 100, 1u);
      p.secondaryId = 35041;
      return true;
    case 30489:
      return IsSet(a.m_DataUnitsRead) && StoreDataVolume(a.m_DataUnitsRead, p);
    case 30490:
      return IsSet(a.m_DataUnitsWritten) && StoreDataVolume(a.m_DataUnitsWritten, p);
    case 30494: {
      if (!IsSet(a.m_DataUnitsWritten)) return false;
      // Units of 2^40 bytes against a rating in terabytes of 10^12 bytes, as
      // the host expects; an unknown rating (all ones) gives 0.
      const uint64_t bytes = a.m_DataUnitsWritten * kBytesPerDataUnit;
      const uint64_t used =
          a.m_RatedEndurance == 0 ? 0 : ((bytes >> 40) * 100) / a.m_RatedEndurance;
      p.SetValue(static_cast<int>(used), 0, 100, 1u);
      return true;
    }
    case 30468: {
      std::vector<int> throttleStates = {40252, 40410, 40411};
      p.SetValue(static_cast<int>(a.m_ThrottleState), throttleStates);
      return true;
    }
    case 30189:
      p.SetValue(static_cast<unsigned long>(a.m_MediaErrors));
      return true;
    case 30165: {
      if (a.m_HealthReasons.empty()) return false;
      std::vector<int> current(a.m_HealthReasons.begin(), a.m_HealthReasons.end());
      std::vector<int> conditions = {40387, 40128, 40393, 40394, 40395, 40396, 40397,
                                     40398, 40399, 40400, 40401, 40402, 40266};
      p.SetValue(current, conditions);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

uint32_t IPLUGINAPI_IMPL::GetAdapterProperties(CIntelSSDAdapter& adapter,
                                               std::vector<PI::CProperty>& out,
                                               PI::_PROPERTY_ID which) {
  NIMBRA_TRACE(2, kUnitAdapter, "ENTER GetAdapterProperties (%d)", adapter.m_Index);
  out.clear();
  out.reserve(std::size(adapterPropertyTable));  // one allocation, not a chain of regrowths
  for (const _PROPERTY_DESCRIPTION& row : adapterPropertyTable) {
    if (!Selected(which, row.id)) continue;
    PI::CProperty p;
    GenerateCProperty(row, p);
    if (FillAdapterProperty(adapter, p)) out.push_back(std::move(p));
  }
  NIMBRA_TRACE(2, kUnitAdapter, "LEAVE GetAdapterProperties -> %d", 0);
  return 0;
}

uint32_t IPLUGINAPI_IMPL::SetAdapterProperty(CIntelSSDAdapter&, PI::CProperty&) {
  return PI::ERR_PROPERTY_NOT_SETTABLE;
}

uint32_t IPLUGINAPI_IMPL::GetAdapterOperations(CIntelSSDAdapter&,
                                               std::vector<PI::COperation>& out) {
  out.clear();
  return 0;
}

uint32_t IPLUGINAPI_IMPL::CheckAdapterOperation(CIntelSSDAdapter&, PI::COperation& operation) {
  NIMBRA_TRACE(2, kUnitAdapter, "ENTER CheckAdapterOperation operation=%d", operation.id);
  NIMBRA_TRACE(2, kUnitAdapter, "LEAVE CheckAdapterOperation -> %d", 0);
  return 0;
}

uint32_t IPLUGINAPI_IMPL::ExecuteAdapterOperation(CIntelSSDAdapter& adapter,
                                                  PI::COperation& operation) {
  NIMBRA_TRACE(2, kUnitAdapter, "ENTER ExecuteAdapterOperation (%d) (%d)", operation.id,
               adapter.m_Index);
  NIMBRA_TRACE(2, kUnitAdapter, "LEAVE ExecuteAdapterOperation () -> %d", 0);
  return 0;
}

}  // namespace NAMESPACE_Nimbra
