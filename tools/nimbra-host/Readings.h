// What a property's value means, for people and for scripts. The plug-in
// hands the host numeric words: a value, a value kind, a unit code, value
// codes. A Reading adds the English label, the value as `show` prints it
// with its unit, and the value in base units (bytes, °C, hours, seconds, a
// ratio 0..1 for percentages, the word for a code, an ISO date), from the
// property alone or, where the meaning depends on it, its object:
//
//   - health values before the plug-in's first health read are the scan's
//     placeholders (5.0 °C, 0 h, an end of life of today), so they read as
//     "not yet read", with no base value;
//   - a degraded or failed status names its reasons beside it (the
//     adapter's health conditions 30165 and a throttled state 30468; a
//     drive's failure is its adapter's).
//
// Pure; thread-safe, never throw but bad_alloc.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "PI/Records.h"

namespace nimbra_host {

struct ReadingContext {
  bool healthRead = true;               // false before the first health read
  const PI::CObject* object = nullptr;  // the property's object, when known
  const PI::CObject* parent = nullptr;  // a drive's adapter, when known
};

// NOLINTNEXTLINE(bugprone-exception-escape): json's noexcept move checks an invariant that holds
struct Reading {
  std::string name;             // "Poll interval"; "" without a label
  std::string text;             // "30 s (2..255, writable)", "not yet read"
  nlohmann::ordered_json base;  // 30, 0.1, 632100000000, "good", null
  bool notYetRead = false;
};

// The value alone as people read it: texts as they are ("" when empty),
// value codes as words, numbers and floats with their unit ("31.0 °C",
// "632.1 GB"), ranges of a writable property with their limits
// ("30 s (2..255, writable)"), sets as a list of words ("none" when empty).
std::string ValueText(const PI::CProperty& property);

Reading Read(const PI::CProperty& property, const ReadingContext& context);

// True for the properties the health read fills (temperatures, counters,
// dates, states).
bool IsHealthValue(int32_t propertyId);

// The float as the shortest decimal that reads back as the same float
// (26.0f is 26, not 26.000000476837158).
double ShortestDouble(float value);

// The topology's object with `id`, or null.
const PI::CObject* FindById(const std::vector<PI::CObject>& objects, uint64_t id);

// The context of a property of `object` in `objects`: its first parent.
ReadingContext ContextOf(const PI::CObject* object, const std::vector<PI::CObject>& objects,
                         bool healthRead);

}  // namespace nimbra_host
