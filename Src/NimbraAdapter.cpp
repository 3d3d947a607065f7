// The adapter object: its 29 properties, built from adapterPropertyTable and
// the adapter's fields, and its (empty) operations.
#include <cstdio>

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

using A = CIntelSSDAdapter;

bool FormFactorValue(const A& a, PI::CProperty& p) {
  std::vector<int> formFactors = {Traits(FormFactor::kAddInCard).value,
                                  Traits(FormFactor::kTwoAndAHalfInch).value};
  p.SetValue(Traits(FormFactorOf(a.m_ModelNumberCopy)).value, formFactors);
  return true;
}

bool AdapterNumber(const A& a, PI::CProperty& p) {
  p.SetValue(static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(a.m_Index))));
  p.secondaryId = 35004;
  return true;
}

bool Status(const A& a, PI::CProperty& p) {
  std::vector<int> states = {HEALTH_GOOD, HEALTH_DEGRADED, HEALTH_FAILED};
  p.SetValue(static_cast<int>(a.m_HealthState), states);
  p.severityId = a.m_HealthState == HEALTH_FAILED     ? 24001
                 : a.m_HealthState == HEALTH_DEGRADED ? 24002
                                                      : 24000;
  return true;
}

// The tool's own reading: the scan added the add-in cards' margin; other
// models report their temperature on the drive.
bool Temperature(const A& a, PI::CProperty& p) {
  if (a.m_Temperature == -1.0f || !CmdEmu::IsAddInCard(a.m_ModelNumberCopy)) return false;
  p.SetValue(a.m_Temperature -
             static_cast<float>(Traits(FormFactor::kAddInCard).temperatureMargin));
  p.floatMarker = 8;
  return true;
}

bool RemainingLifeDate(const A& a, PI::CProperty& p) {
  if (!IsSet(a.m_PowerOnHours)) return false;
  p.SetValue(EndOfLifeDate(a));
  return true;
}

bool PowerOnHours(const A& a, PI::CProperty& p) {
  if (!IsSet(a.m_PowerOnHours)) return false;
  p.SetValue(static_cast<unsigned long>(a.m_PowerOnHours));
  return true;
}

bool ReserveSpace(const A& a, PI::CProperty& p) {
  p.SetValue(static_cast<int>(a.m_ReserveSpace), 0, 100, 1u);
  p.secondaryId = 35040;
  return true;
}

bool SpareState(const A& a, PI::CProperty& p) {
  std::vector<int> spareStates = {40473, 40150, 40474};
  p.SetValue(static_cast<int>(a.m_SpareState), spareStates);
  p.secondaryId = PROP_STATUS;
  return true;
}

bool WarningThreshold(const A& a, PI::CProperty& p) {
  p.SetValue(static_cast<int>(a.m_WarningThreshold), 1, 100, 1u);
  p.secondaryId = 35041;
  return true;
}

template <uint64_t A::*units>
bool DataVolume(const A& a, PI::CProperty& p) {
  return IsSet(a.*units) && StoreDataVolume(a.*units, p);
}

bool EnduranceUsed(const A& a, PI::CProperty& p) {
  if (!IsSet(a.m_DataUnitsWritten)) return false;
  // Units of 2^40 bytes against a rating in terabytes of 10^12 bytes, as the
  // host expects; an unknown rating (all ones) gives 0.
  const uint64_t bytes = a.m_DataUnitsWritten * kBytesPerDataUnit;
  const uint64_t used = a.m_RatedEndurance == 0 ? 0 : ((bytes >> 40) * 100) / a.m_RatedEndurance;
  p.SetValue(static_cast<int>(used), 0, 100, 1u);
  return true;
}

bool ThrottleState(const A& a, PI::CProperty& p) {
  std::vector<int> throttleStates = {THROTTLE_NONE, THROTTLE_ACTIVE, THROTTLE_OTHER};
  p.SetValue(static_cast<int>(a.m_ThrottleState), throttleStates);
  return true;
}

bool HealthConditions(const A& a, PI::CProperty& p) {
  if (a.m_HealthReasons.empty()) return false;
  std::vector<int> current(a.m_HealthReasons.begin(), a.m_HealthReasons.end());
  std::vector<int> conditions = {40387, 40128, 40393, 40394, 40395, 40396, 40397,
                                 40398, 40399, 40400, 40401, 40402, 40266};
  p.SetValue(current, conditions);
  return true;
}

// Table order is output order. The descriptor's words: id, textId, attrA,
// attrB, attrC, valueKind, unit, flagA, flagB (attrA and attrB are 1, flagB 0
// in every row); then the rule that stores the value.
PropertyRow<A> adapterPropertyTable[] = {
    {{PROP_NAME, 23081, 1, 1, -1, 2, 1, 1, 0}, Text<&A::m_DisplayName>},
    {{PROP_MANUFACTURER, 23144, 1, 1, -1, 2, 1, 1, 0}, Text<&A::m_Vendor>},
    {{PROP_MODEL, 23102, 1, 1, -1, 2, 1, 1, 0}, Text<&A::m_ModelNumber>},
    {{PROP_FORM_FACTOR, 1, 1, 1, 0, 3, 1, 1, 0}, FormFactorValue},
    {{PROP_ADAPTER_NUMBER, 23003, 1, 1, -1, 5, 1, 1, 0}, AdapterNumber},
    {{PROP_STATUS, 23127, 1, 1, -1, 3, 1, 1, 0}, Status},
    {{PROP_PCI_SEGMENT, 23134, 1, 1, -1, 5, 1, 1, 0}, Number<&A::m_PciSegment, 35039>},
    {{PROP_PCI_BUS, 23132, 1, 1, -1, 5, 1, 1, 0}, Number<&A::m_PciBus, 35000>},
    {{PROP_PCI_DEVICE, 23133, 1, 1, -1, 5, 1, 1, 0}, Number<&A::m_PciDevice, 35002>},
    {{PROP_PCI_FUNCTION, 23135, 1, 1, -1, 5, 1, 1, 0}, Number<&A::m_PciFunction, 35003>},
    {{PROP_LOCATION, 1, 1, 1, 0, 2, 1, 1, 0}, Text<&A::m_Location>},
    {{PROP_SERIAL_NUMBER, 23116, 1, 1, -1, 2, 1, 1, 0}, Text<&A::m_SerialNumber>},
    {{PROP_FIRMWARE, 23051, 1, 1, -1, 2, 1, 1, 0}, TextUnlessEmpty<&A::m_Firmware>},
    {{PROP_BOOTLOADER, 23016, 1, 1, -1, 2, 1, 1, 0}, TextUnlessEmpty<&A::m_Bootloader>},
    {{PROP_DEVICE_PATH, 23090, 1, 1, -1, 2, 1, 1, 0}, Text<&A::m_DevicePath>},
    {{PROP_DRIVER_NAME, 23041, 1, 1, -1, 2, 1, 1, 0}, Text<&A::m_DriverName>},
    {{PROP_DRIVER_VERSION, 23042, 1, 1, -1, 2, 1, 1, 0}, TextUnlessEmpty<&A::m_DriverVersion>},
    {{PROP_TEMPERATURE, 23024, 1, 1, -1, 5, 21000, 0, 0}, Temperature},
    {{PROP_REMAINING_LIFE_DATE, 23045, 1, 1, -1, 2, 1, 0, 0}, RemainingLifeDate},
    {{PROP_POWER_ON_HOURS, 23101, 1, 1, -1, 5, 21005, 0, 0}, PowerOnHours},
    {{PROP_RESERVE_SPACE, 23110, 1, 1, -1, 6, 21010, 0, 0}, ReserveSpace},
    {{PROP_SPARE_STATE, 23112, 1, 1, -1, 3, 1, 1, 0}, SpareState},
    {{PROP_WARNING_THRESHOLD, 23113, 1, 1, -1, 6, 21010, 1, 0}, WarningThreshold},
    {{PROP_DATA_READ, 23017, 1, 1, -1, 8, 1, 0, 0}, DataVolume<&A::m_DataUnitsRead>},
    {{PROP_DATA_WRITTEN, 23018, 1, 1, -1, 8, 1, 0, 0}, DataVolume<&A::m_DataUnitsWritten>},
    {{PROP_ENDURANCE_USED, 23105, 1, 1, -1, 6, 21010, 0, 0}, EnduranceUsed},
    {{PROP_THROTTLE_STATE, 23147, 1, 1, -1, 3, 1, 1, 0}, ThrottleState},
    {{PROP_MEDIA_ERRORS, 23143, 1, 1, -1, 5, 1, 0, 0}, Number<&A::m_MediaErrors>},
    {{PROP_HEALTH_CONDITIONS, 23004, 1, 1, -1, 7, 1, 1, 0}, HealthConditions},
};

}  // namespace

uint32_t IPLUGINAPI_IMPL::GetAdapterProperties(CIntelSSDAdapter& adapter,
                                               std::vector<PI::CProperty>& out,
                                               PI::_PROPERTY_ID which) {
  NIMBRA_TRACE(2, kUnitAdapter, "ENTER GetAdapterProperties (%d)", adapter.m_Index);
  FillProperties(adapterPropertyTable, adapter, which, out);
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
