// The harness's readable output: property values with their words and
// units, one line per property, operation and event, and the topology as an
// indented tree (plug-in object, its adapters, each adapter's drives). Pure
// formatting of host records; thread-safe, never throw but bad_alloc.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "PI/Records.h"

namespace nimbra_host {

// The value as people read it: texts as they are ("" when empty), value
// codes as words, numbers and floats with their unit ("31.0 °C",
// "632.1 GB"), ranges of a writable property with their limits
// ("30 s (2..255, writable)"), sets as a list of words ("none" when empty).
std::string ValueText(const PI::CProperty& property);

// "30005  Poll interval            30 s (2..255, writable)".
std::string PropertyLine(const PI::CProperty& property);

// "50002  get events  (words 6 1 1 1 0 0 1 1)".
std::string OperationLine(const PI::COperation& operation);

// "2024-05-01 12:00:00  warning  10962 temperature 80 °C or more: Torvik 2.5in (2)
// [0x0135000000000005]" in local time; an event about a drive adds " on " and
// its adapter's name (the first placeholder) after the drive's name.
std::string EventLine(const PI::CEvent& event);

// The objects of a topology report as a tree: each object's headline
// ("adapter 0x0135000000000001  Torvik P3700 (0)  (changes 2)"), its
// properties and operations, then its children, indented. Objects that no
// parent lists come after the tree, at the top level.
void PrintTopology(std::ostream& out, const std::vector<PI::CObject>& objects);

}  // namespace nimbra_host
