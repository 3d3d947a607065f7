// Property and operation descriptors: the static rows from which the
// plug-in builds the host's PI::CProperty and PI::COperation records.
#pragma once

#include <cstdint>

#include "PI/Records.h"

namespace NAMESPACE_Nimbra {

// One row of a property table.
struct _PROPERTY_DESCRIPTION {
  int32_t id;
  int32_t textId;
  int32_t attrA;
  int32_t attrB;
  int32_t attrC;
  int32_t valueKind;
  int32_t unit;
  uint8_t flagA;
  uint8_t flagB;
};

// Copies the row's words into `property` (id into id and secondaryId) and
// nothing else; the caller then stores the value.
void GenerateCProperty(const _PROPERTY_DESCRIPTION& row, PI::CProperty& property);

// One operation: its id, then eight words the host interprets.
struct _OPERATION_DESCRIPTION {
  int32_t id;
  int32_t w1;
  int32_t w2;
  int32_t w3;
  int32_t w4;
  uint8_t b5;
  int32_t w6;
  int32_t w7;
  int32_t w8;
};

// A default-constructed PI::COperation with the descriptor's words (id into
// id and secondaryId).
PI::COperation GenerateCOperation(const _OPERATION_DESCRIPTION& row);

// True when `which` asks for the property `id` (1 asks for every one).
inline bool Selected(PI::_PROPERTY_ID which, int32_t id) {
  return which == PI::PROP_ALL || which == id;
}

}  // namespace NAMESPACE_Nimbra
