// Property and operation descriptors: the static rows from which the
// plug-in builds the host's PI::CProperty and PI::COperation records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// A row of an object's property table: the descriptor's words, and the rule
// that stores the object's value into the property built from them (and
// changes the words it names); the rule returns false to omit the property.
template <class Object>
struct PropertyRow : _PROPERTY_DESCRIPTION {
  bool (*fill)(const Object& object, PI::CProperty& property);
};

// Rules that several rows share, for a member pointer F of the object.
template <class T>
struct MemberOf;
template <class C, class M>
struct MemberOf<M C::*> {
  using Class = C;
};
template <auto F>
using ClassOf = typename MemberOf<decltype(F)>::Class;

// The text as it is.
template <auto F>
bool Text(const ClassOf<F>& o, PI::CProperty& p) {
  p.SetValue(o.*F);
  return true;
}
// The text; omitted when empty.
template <auto F>
bool TextUnlessEmpty(const ClassOf<F>& o, PI::CProperty& p) {
  p.SetValue(o.*F);
  return !(o.*F).empty();
}
// The number as an unsigned number, with `secondaryId` when it is not 0.
template <auto F, int32_t secondaryId = 0>
bool Number(const ClassOf<F>& o, PI::CProperty& p) {
  p.SetValue(static_cast<unsigned long>(o.*F));
  if (secondaryId != 0) p.secondaryId = secondaryId;
  return true;
}

// Empties `out`, then appends in table order the property of every row that
// `which` selects and whose rule gives a value.
template <class Object, size_t N>
void FillProperties(const PropertyRow<Object> (&table)[N], const Object& object,
                    PI::_PROPERTY_ID which, std::vector<PI::CProperty>& out) {
  out.clear();
  out.reserve(N);  // one allocation, not a chain of regrowths
  for (const PropertyRow<Object>& row : table) {
    if (!Selected(which, row.id)) continue;
    PI::CProperty p;
    GenerateCProperty(row, p);
    if (row.fill(object, p)) out.push_back(std::move(p));
  }
}

}  // namespace NAMESPACE_Nimbra
