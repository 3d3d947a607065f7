// The harness's output for scripts: host records as JSON with their keys in
// a fixed order (nlohmann::ordered_json), object IDs as hexadecimal text.
//
//   property  {"id", "secondaryId", "textId", "attrA", "attrB", "attrC",
//              "valueKind", "unit", "severityId", "flagA", "flagB",
//              "floatMarker", "writable", "value", ...} where "value" follows
//              valueKind: 2 a string; 3 a number plus "allowed"; 5 a number;
//              6 a number plus "min", "max", "step"; 7 an array plus
//              "allowed"; 8 a number; any other kind null.
//   operation {"id", "secondaryId", "words": [w1, w2, w3, w4, b5, w6, w7, w8]}
//   object    {"id", "kind", "changeCount", "locked", "parents", "children",
//              "properties", "operations"}
//   topology  {"initialize", "adapterIds": [{"segment", "bus", "device",
//              "function", "index", "hostNumber"}], "objects"}
//   event     {"eventId", "severity", "objectId", "objectName",
//              "placeholder1", "placeholder2", "time"} (time in milliseconds
//              since the epoch)
//
// Pure conversions; thread-safe, never throw but bad_alloc.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "PI/Records.h"

namespace nimbra_host {

using Json = nlohmann::ordered_json;

Json PropertyJson(const PI::CProperty& property);
Json OperationJson(const PI::COperation& operation);
Json ObjectJson(const PI::CObject& object);
// `initialize` is Initialize's status, or null when it threw; then
// `initializeException` carries the exception's text.
Json TopologyJson(const Json& initialize, const std::string& initializeException,
                  const std::vector<PI::CAdapterID>& adapterIds,
                  const std::vector<PI::CObject>& objects);
Json EventJson(const PI::CEvent& event);

}  // namespace nimbra_host
