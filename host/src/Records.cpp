#include "PI/Records.h"

namespace PI {

CProperty::CProperty(_PROPERTY_ID propertyId, bool isWritable)
    : id(propertyId), secondaryId(propertyId), unit(UNIT_NONE), writable(isWritable) {}

void CProperty::SetValue(unsigned long value) {
  number = value;
  valueKind = VALUE_NUMBER;
}

void CProperty::SetValue(float value) {
  floatValue = value;
  valueKind = VALUE_FLOAT;
}

void CProperty::SetValue(const std::string& value) {
  text = value;
  valueKind = VALUE_TEXT;
}

void CProperty::SetValue(const char* value) {
  text = value != nullptr ? value : "";
  valueKind = VALUE_TEXT;
}

void CProperty::SetValue(int value, int min, int max, unsigned int step) {
  intValue = value;
  rangeMin = min;
  rangeMax = max;
  rangeStep = step;
  valueKind = VALUE_RANGE;
}

void CProperty::SetValue(int value, std::vector<int>& allowedValues) {
  intValue = value;
  allowed = allowedValues;
  valueKind = VALUE_ENUM;
}

void CProperty::SetValue(std::vector<int>& currentValues, std::vector<int>& allowedValues) {
  current = currentValues;
  allowed = allowedValues;
  valueKind = VALUE_SET;
}

bool CProperty::GetValue(int& value, int& min, int& max, unsigned int& step) const {
  if (valueKind != VALUE_RANGE) return false;
  value = intValue;
  min = rangeMin;
  max = rangeMax;
  step = rangeStep;
  return true;
}

}  // namespace PI
