#include "NimbraObjects.h"

namespace NAMESPACE_Nimbra {

void CIntelSSDAdapter::Copy(const CIntelSSDAdapter& other) { Members(*this) = Members(other); }

bool CIntelSSDAdapter::Differs(const CIntelSSDAdapter& other) const {
  return Members(*this) != Members(other);
}

void CIntelSSDPhysicalDrive::Copy(const CIntelSSDPhysicalDrive& other) {
  Members(*this) = Members(other);
}

bool CIntelSSDPhysicalDrive::Differs(const CIntelSSDPhysicalDrive& other) const {
  return Members(*this) != Members(other);
}

}  // namespace NAMESPACE_Nimbra
