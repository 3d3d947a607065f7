// The physical-drive object: its 14 properties from drivePropertyTable, and
// its operations, of which only the check of 50026 answers anything.
#include <cstring>

#include "NimbraFormFactor.h"
#include "NimbraImpl.h"
#include "NimbraProperties.h"
#include "NimbraTrace.h"
#include "PI/Status.h"

namespace NAMESPACE_Nimbra {

namespace {

constexpr uint32_t DRIVE_STATE_WARNING = 40180;

using D = CIntelSSDPhysicalDrive;

bool Zero(const D&, PI::CProperty& p) {
  p.SetValue(0UL);
  return true;
}

bool DriveType(const D&, PI::CProperty& p) {
  std::vector<int> types = {40200};
  p.SetValue(40200, types);
  return true;
}

bool Status(const D& d, PI::CProperty& p) {
  std::vector<int> states = {DRIVE_STATE_OK, DRIVE_STATE_WARNING, HEALTH_FAILED};
  p.SetValue(static_cast<int>(d.m_State), states);
  p.severityId = d.m_State == HEALTH_FAILED         ? 24177
                 : d.m_State == DRIVE_STATE_WARNING ? 24189
                                                    : 24183;
  return true;
}

bool SectorSize(const D& d, PI::CProperty& p) {
  p.SetValue(static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(d.m_SectorSize))));
  return true;
}

// The tool's own reading: the scan added the 2.5-inch drives' margin; add-in
// cards report their temperature on the adapter. A drive belongs to the
// 2.5-inch family by its display name, which the scan took from that
// family's name table.
bool Temperature(const D& d, PI::CProperty& p) {
  const FormFactorTraits& family = Traits(FormFactor::kTwoAndAHalfInch);
  if (d.m_Temperature == -1.0f ||
      d.m_DisplayName.compare(0, std::strlen(family.namePrefix), family.namePrefix) != 0) {
    return false;
  }
  p.SetValue(d.m_Temperature - static_cast<float>(family.temperatureMargin));
  p.floatMarker = 8;
  return true;
}

// Table order is output order; the descriptor's words as in the adapter's
// table (attrA and attrB are 1, flagB 0 in every row), then the rule.
PropertyRow<D> drivePropertyTable[] = {
    {{PROP_NAME, 23285, 1, 1, -1, 2, 1, 1, 0}, Text<&D::m_DisplayName>},
    {{PROP_DRIVE_30122, 23292, 1, 1, 4, 5, 1, 1, 0}, Zero},
    {{PROP_DRIVE_30125, 23272, 1, 1, -1, 5, 1, 1, 0}, Zero},
    {{PROP_LOCATION, 1, 1, 1, 0, 2, 1, 1, 0}, Text<&D::m_Location>},
    {{PROP_MANUFACTURER, 23316, 1, 1, -1, 2, 1, 1, 0}, Text<&D::m_Vendor>},
    {{PROP_MODEL, 23295, 1, 1, -1, 2, 1, 1, 0}, Text<&D::m_ModelNumber>},
    {{PROP_DRIVE_TYPE, 23314, 1, 1, -1, 3, 1, 1, 0}, DriveType},
    {{PROP_PHYSICAL_SIZE, 23291, 1, 1, -1, 5, 21002, 1, 0}, Number<&D::m_PhysicalSize>},
    {{PROP_CAPACITY, 23269, 1, 1, -1, 5, 21002, 1, 0}, Number<&D::m_Capacity>},
    {{PROP_STATUS, 23309, 1, 1, -1, 3, 1, 1, 0}, Status},
    {{PROP_USED_SIZE, 23278, 1, 1, -1, 5, 21002, 1, 0}, Number<&D::m_UsedSize>},
    {{PROP_USED_PERCENT, 23277, 1, 1, -1, 5, 21010, 1, 0}, Number<&D::m_UsedPercent>},
    {{PROP_SECTOR_SIZE, 23266, 1, 1, -1, 5, 21024, 1, 0}, SectorSize},
    {{PROP_DRIVE_TEMPERATURE, 23311, 1, 1, -1, 8, 21000, 0, 0}, Temperature},
};

}  // namespace

uint32_t IPLUGINAPI_IMPL::GetPhysicalDriveProperties(CIntelSSDPhysicalDrive& drive,
                                                     std::vector<PI::CProperty>& out,
                                                     PI::_PROPERTY_ID which) {
  NIMBRA_TRACE(2, kUnitDrive, "ENTER GetPhysicalDriveProperties ()");
  FillProperties(drivePropertyTable, drive, which, out);
  return 0;
}

uint32_t IPLUGINAPI_IMPL::SetPhysicalDriveProperty(CIntelSSDPhysicalDrive&, PI::CProperty&) {
  return PI::ERR_PROPERTY_NOT_SETTABLE;
}

uint32_t IPLUGINAPI_IMPL::GetPhysicalDriveOperations(CIntelSSDPhysicalDrive&,
                                                     std::vector<PI::COperation>& out) {
  // The drive action (50026) is answered by the check but never offered, so
  // the list stays empty.
  out.clear();
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
