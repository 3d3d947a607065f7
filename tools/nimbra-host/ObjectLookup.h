// Names for objects that stay the same from one run to the next. Object IDs
// are handed out per plug-in instance, so the same drive can have another ID
// after the fleet changed; an adapter's serial number (property 30022) and
// device path (30247) do not change. A serial number or device path names
// the adapter (only adapters carry those properties); "drive:" in front of
// any name names the adapter's drive instead.
//
// FindObject resolves the text of an OBJECT argument against a topology
// report: every object whose ID, serial number or device path the text is
// counts, and the text must name exactly one. A text that reads as an ID but
// names no object in the report is passed on as that ID, so that the
// plug-in answers for it. Pure; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PI/Records.h"

namespace nimbra_host {

struct FoundObject {
  bool found = false;
  uint64_t id = 0;
  // Found by a serial number or device path: "CVFT5213000A400BGN is adapter
  // 0x0135000000000001 (Torvik P3700 (0))"; empty for an ID.
  std::string note;
  // Not found: "'X' names no object: ..." or "'X' names more than one
  // object: ...".
  std::string error;
};

FoundObject FindObject(const std::string& text, const std::vector<PI::CObject>& topology);

// `root` and every object below it, in the order of `topology`.
std::vector<PI::CObject> Subtree(uint64_t root, const std::vector<PI::CObject>& topology);

// The object's name (property 30007), "" without one.
std::string ObjectName(const PI::CObject& object);

}  // namespace nimbra_host
