// The harness's readable output: one line per property, operation and
// event, and the topology as an indented tree (plug-in object, its adapters,
// each adapter's drives). Values read as Readings.h says: words, units, "not
// yet read", a status with its reasons. Pure formatting of host records;
// thread-safe, never throw but bad_alloc.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "PI/Records.h"
#include "Readings.h"

namespace nimbra_host {

// "30005  Poll interval            30 s (2..255, writable)".
std::string PropertyLine(const PI::CProperty& property,
                         const ReadingContext& context = ReadingContext());

// "50002  get events  (words 6 1 1 1 0 0 1 1)".
std::string OperationLine(const PI::COperation& operation);

// "2024-05-01 12:00:00  error    10960 temperature 79 °C or more (band 84 °C
// or more with the add-in card's margin of 5 °C): Torvik P3700 (0)
// [0x0135000000000001]" in local time, the event told as EventText tells it
// for an adapter of `formFactor` (0: unknown); an event about a drive adds
// " on " and its adapter's name (the first placeholder) after the drive's
// name.
std::string EventLine(const PI::CEvent& event, int32_t formFactor = 0);

// The objects of a topology report as a tree: each object's headline
// ("adapter 0x0135000000000001  Torvik P3700 (0)  (changes 2)"), its
// properties and operations, then its children, indented. Objects that no
// parent lists come after the tree, at the top level. `healthRead` false:
// health values read "not yet read".
void PrintTopology(std::ostream& out, const std::vector<PI::CObject>& objects,
                   bool healthRead = true);

}  // namespace nimbra_host
