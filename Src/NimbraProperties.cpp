#include "NimbraProperties.h"

namespace NAMESPACE_Nimbra {

void GenerateCProperty(const _PROPERTY_DESCRIPTION& row, PI::CProperty& p) {
  p.id = row.id;
  p.secondaryId = row.id;
  p.textId = row.textId;
  p.attrA = row.attrA;
  p.attrB = row.attrB;
  p.attrC = row.attrC;
  p.valueKind = row.valueKind;
  p.unit = row.unit;
  p.flagA = row.flagA;
  p.flagB = row.flagB;
}

PI::COperation GenerateCOperation(const _OPERATION_DESCRIPTION& row) {
  PI::COperation op;
  op.id = row.id;
  op.secondaryId = row.id;
  op.w1 = row.w1;
  op.w2 = row.w2;
  op.w3 = row.w3;
  op.w4 = row.w4;
  op.b5 = row.b5;
  op.w6 = row.w6;
  op.w7 = row.w7;
  op.w8 = row.w8;
  return op;
}

}  // namespace NAMESPACE_Nimbra
