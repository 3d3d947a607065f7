// The harness's output for scripts: host records as JSON with their keys in
// a fixed order (nlohmann::ordered_json), object IDs as hexadecimal text.
// Every key is described once in docs/json.md; docs/nimbra-host.schema.json
// is the JSON Schema every document follows. Each document starts with
// "formatVersion" (kFormatVersion) and "type": "tree" (show, the first line
// of watch), "properties" (get) or "event" (each further line of watch and
// exec).
//
//   property  {"id", "secondaryId", "textId", "attrA", "attrB", "attrC",
//              "valueKind", "unit", "severityId", "flagA", "flagB",
//              "floatMarker", "writable", "value", ..., "name", "text",
//              "base", "notYetRead"} where "value" follows valueKind: 2 a
//              string; 3 a number plus "allowed"; 5 a number; 6 a number
//              plus "min", "max", "step"; 7 an array plus "allowed"; 8 a
//              number; any other kind null. The last four are the Reading.
//   operation {"id", "secondaryId", "words": [w1, w2, w3, w4, b5, w6, w7, w8]}
//   object    {"id", "kind", "changeCount", "locked", "parents", "children",
//              "properties", "operations"}
//   tree      {"formatVersion", "type", "simulated", "initialize", "adapterIds":
//              [{"segment", "bus", "device", "function", "index",
//              "hostNumber"}], "objects"}
//   event     {"formatVersion", "type", "simulated", "eventId", "severity", "objectId",
//              "objectName", "placeholder1", "placeholder2", "time",
//              "severityName", "name", "text"} (time in milliseconds since
//              the epoch)
//
// Pure conversions; thread-safe, never throw but bad_alloc.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "PI/Records.h"
#include "Readings.h"

namespace nimbra_host {

using Json = nlohmann::ordered_json;

// Raised when a key changes its meaning or goes; new keys keep it.
constexpr int kFormatVersion = 1;

Json PropertyJson(const PI::CProperty& property, const ReadingContext& context);
Json OperationJson(const PI::COperation& operation);
// `objects` is the report the object belongs to (for the readings' context:
// a drive's status takes its reasons from its adapter).
Json ObjectJson(const PI::CObject& object, const std::vector<PI::CObject>& objects = {},
                bool healthRead = true);
// `initialize` is Initialize's status, or null when it threw; then
// `initializeException` carries the exception's text.
Json TopologyJson(const Json& initialize, const std::string& initializeException,
                  const std::vector<PI::CAdapterID>& adapterIds,
                  const std::vector<PI::CObject>& objects, bool healthRead, bool simulated);
// The start of a document of `type`: formatVersion, type and simulated
// (the SSD tool is the simulator).
Json DocumentJson(const std::string& type, bool simulated);
// `formFactor` of the event's adapter, 0 when unknown (see EventText).
Json EventJson(const PI::CEvent& event, int32_t formFactor, bool simulated);

}  // namespace nimbra_host
