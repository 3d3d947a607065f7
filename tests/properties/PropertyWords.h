// Helpers of the property-table tests: every word of a property record as
// one line of text, so that expected records read as a table, and the
// end-of-life date a given number of hours from now.
#pragma once

#include <string>
#include <vector>

#include "PI/Records.h"

namespace nimbra_test {

// "id secondaryId textId attrA attrB attrC valueKind unit severityId flagA
// flagB floatMarker ro|rw | value", the value by its kind: text "\"...\"",
// enumerated "40024 of {40024,40150,40095}", number "8760", range
// "100 in 0..100/1", set "{40459} of {...}", float with six significant
// digits "26", none "-".
std::string Words(const PI::CProperty& property);
std::vector<std::string> Words(const std::vector<PI::CProperty>& properties);

// The UTC date ("2046-12-01") `hours` after now.
std::string DateIn(unsigned long hours);

}  // namespace nimbra_test
