// Words for the numbers the plug-in hands the host: property labels, value
// codes (health, drive state, throttle, spare, form factor, health
// conditions), unit suffixes, object kinds, operations, event numbers and
// severities. Pure lookups over static tables; thread-safe, never throw but
// bad_alloc. A number without a word gives an empty text (labels and codes)
// or a neutral fallback named below, so callers can always print something.
#pragma once

#include <cstdint>
#include <string>

namespace nimbra_host {

// "Poll interval" for 30005; "" for a property id the harness has no label for.
std::string PropertyLabel(int32_t propertyId);

// "good" for 40024, "add-in card" for 40480...; "" for a code without a word.
std::string ValueCodeName(int32_t code);

// The word for `code`, or the number itself when it has none.
std::string ValueCodeText(int32_t code);

// " °C", " MiB", " h", " s", " %", " bytes", " GB"...: the text to put after a
// value of that unit code; "" for 1 (no unit) and for unknown codes.
std::string UnitSuffix(int32_t unit);

// "plug-in", "adapter", "drive"; "object" for any other kind.
std::string KindName(uint32_t kind);

// "get events" for 50002, "drive action" for 50026; "" otherwise.
std::string OperationName(int32_t operationId);

// "temperature 80 °C or more" for 10962...; "event N" for an unknown number.
std::string EventName(uint32_t eventId);

// "info", "warning", "error" for 2, 3, 4; "severity N" otherwise.
std::string SeverityName(uint32_t severity);

}  // namespace nimbra_host
