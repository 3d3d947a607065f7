// The physical-drive object: its 14 properties from drivePropertyTable, and
// its operations, of which only the check of 50026 answers anything.
#include <iterator>

#include "NimbraImpl.h"
#include "NimbraProperties.h"
#include "NimbraTrace.h"
#include "PI/Status.h"

namespace NAMESPACE_Nimbra {

namespace {

// Table order is output order. attrA and attrB are 1, flagB 0 in every row.
_PROPERTY_DESCRIPTION drivePropertyTable[] = {
    {30007, 23285, 1, 1, -1, 2, 1, 1, 0},  // name
    {30122, 23292, 1, 1, 4, 5, 1, 1, 0},      {30125, 23272, 1, 1, -1, 5, 1, 1, 0},
    {30137, 1, 1, 1, 0, 2, 1, 1, 0},           // location
    {30003, 23316, 1, 1, -1, 2, 1, 1, 0},      // manufacturer
    {30063, 23295, 1, 1, -1, 2, 1, 1, 0},      // model
    {30056, 23314, 1, 1, -1, 3, 1, 1, 0},      // drive type
    {30059, 23291, 1, 1, -1, 5, 21002, 1, 0},  // physical size
    {30060, 23269, 1, 1, -1, 5, 21002, 1, 0},  // capacity
    {30017, 23309, 1, 1, -1, 3, 1, 1, 0},      // status
    {30461, 23278, 1, 1, -1, 5, 21002, 1, 0},  // used size
    {30462, 23277, 1, 1, -1, 5, 21010, 1, 0},  // used percent
    {30460, 23266, 1, 1, -1, 5, 21024, 1, 0},  // sector size
    {30069, 23311, 1, 1, -1, 8, 21000, 0, 0},  // temperature
};

const _OPERATION_DESCRIPTION driveOperationDescriptor = {
    OP_DRIVE_ACTION, 2, 2, 1, 1, 0, -1, 3, 22025};

constexpr uint32_t DRIVE_STATE_WARNING = 40180;

bool FillDriveProperty(const CIntelSSDPhysicalDrive& d, PI::CProperty& p) {
  switch (p.id) {
    case 30007:
      p.SetValue(d.m_DisplayName);
      return true;
    case 30122:
    case 30125:
      p.SetValue(0UL);
      return true;
    case 30137:
      p.SetValue(d.m_Location);
      return true;
    case 30003:
      p.SetValue(d.m_Vendor);
      return true;
    case 30063:
      p.SetValue(d.m_ModelNumber);
      return true;
    case 30056: {
      std::vector<int> types = {40200};
      p.SetValue(40200, types);
      return true;
    }
    case 30059:
      p.SetValue(static_cast<unsigned long>(d.m_PhysicalSize));
      return true;
    case 30060:
      p.SetValue(static_cast<unsigned long>(d.m_Capacity));
      return true;
    case 30017: {
      std::vector<int> states = {40099, 40180, 40095};
      p.SetValue(static_cast<int>(d.m_State), states);
      p.severityId = d.m_State == HEALTH_FAILED         ? 24177
                     : d.m_State == DRIVE_STATE_WARNING ? 24189
                                                        : 24183;
      return true;
    }
    case 30461:
      p.SetValue(static_cast<unsigned long>(d.m_UsedSize));
      return true;
    case 30462:
      p.SetValue(static_cast<unsigned long>(d.m_UsedPercent));
      return true;
    case 30460:
      p.SetValue(
          static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(d.m_SectorSize))));
      return true;
    case 30069:
      // The tool's own reading: the scan added 14 for 2.5-inch drives; add-in
      // cards report their temperature on the adapter.
      if (d.m_Temperature == -1.0f || d.m_DisplayName.compare(0, 12, "Torvik 2.5in") != 0) {
        return false;
      }
      p.SetValue(d.m_Temperature - 14.0f);
      p.floatMarker = 8;
      return true;
    default:
      return false;
  }
}

}  // namespace

uint32_t IPLUGINAPI_IMPL::GetPhysicalDriveProperties(CIntelSSDPhysicalDrive& drive,
                                                     std::vector<PI::CProperty>& out,
                                                     PI::_PROPERTY_ID which) {
  NIMBRA_TRACE(2, kUnitDrive, "ENTER GetPhysicalDriveProperties ()");
  out.clear();
  out.reserve(std::size(drivePropertyTable));  // one allocation, not a chain of regrowths
  for (const _PROPERTY_DESCRIPTION& row : drivePropertyTable) {
    if (!Selected(which, row.id)) continue;
    PI::CProperty p;
    GenerateCProperty(row, p);
    if (FillDriveProperty(drive, p)) out.push_back(std::move(p));
  }
  return 0;
}

uint32_t IPLUGINAPI_IMPL::SetPhysicalDriveProperty(CIntelSSDPhysicalDrive&, PI::CProperty&) {
  return PI::ERR_PROPERTY_NOT_SETTABLE;
}

uint32_t IPLUGINAPI_IMPL::GetPhysicalDriveOperations(CIntelSSDPhysicalDrive&,
                                                     std::vector<PI::COperation>& out) {
  out.clear();
  // The drive action is answered by the check but never offered.
  const PI::COperation action = GenerateCOperation(driveOperationDescriptor);
  if (action.id != OP_DRIVE_ACTION) out.push_back(action);
  return 0;
}

uint32_t IPLUGINAPI_IMPL::CheckPhysicalDriveOperation(CIntelSSDPhysicalDrive& drive,
                                                      PI::COperation& operation) {
  NIMBRA_TRACE(2, kUnitDrive, "ENTER CheckPhysicalDriveOperation()");
  uint32_t rc = 0;
  if (operation.id == OP_DRIVE_ACTION && drive.m_State != DRIVE_STATE_OK) {
    rc = PI::ERR_OPERATION_REJECTED;
  }
  NIMBRA_TRACE(2, kUnitDrive, "LEAVE CheckPhysicalDriveOperation() -> %d", rc);
  return rc;
}

uint32_t IPLUGINAPI_IMPL::ExecutePhysicalDriveOperation(CIntelSSDPhysicalDrive&, PI::COperation&) {
  NIMBRA_TRACE(2, kUnitDrive, "ENTER ExecutePhysicalDriveOperation()");
  NIMBRA_TRACE(2, kUnitDrive, "LEAVE ExecutePhysicalDriveOperation() -> %d",
               PI::ERR_OPERATION_NOT_SUPPORTED);
  return PI::ERR_OPERATION_NOT_SUPPORTED;
}

}  // namespace NAMESPACE_Nimbra
